// Modules of the Linux substitute: the platform libraries are known by name and
// hand out the entry points the substitute implements.
#include "platform/linux/kernel32.h"

#include <cctype>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace {

struct Proc {
  std::string module;
  std::string name;
  FARPROC proc;
};

struct KnownModule {
  const char* name;
  int tag;  // the module handle is the address of this entry
};

// Every library the runtime loads by name; entry points are added per module.
KnownModule knownModules[] = {{"kernel32", 0}, {"ws2_32", 0}, {"user32", 0}, {"self", 0}};

std::mutex procLock;
std::vector<Proc>& procs() {
  static std::vector<Proc> table;
  return table;
}

// "KERNEL32.DLL" and "kernel32" both become "kernel32".
std::string baseName(const char* name) {
  std::string s;
  for (const char* p = name; *p; p++) s += static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
  if (s.size() > 4 && s.compare(s.size() - 4, 4, ".dll") == 0) s.resize(s.size() - 4);
  return s;
}

KnownModule* find(const std::string& name) {
  for (auto& m : knownModules)
    if (name == m.name) return &m;
  return nullptr;
}

std::string narrow(LPCWSTR name) {
  std::string s;
  for (; *name; name++) s += *name < 128 ? static_cast<char>(*name) : '?';
  return s;
}

// The substitute's own kernel entry points that the runtime looks up at run time.
struct KernelProcs {
  KernelProcs() {
    Platform_RegisterProc("kernel32", "InitOnceExecuteOnce", reinterpret_cast<FARPROC>(&InitOnceExecuteOnce));
  }
};

void registerKernelProcs() { static KernelProcs once; }

}  // namespace

void Platform_RegisterProc(const char* module, const char* name, FARPROC proc) {
  std::lock_guard<std::mutex> guard(procLock);
  procs().push_back({baseName(module), name, proc});
}

HMODULE WINAPI LoadLibraryA(LPCSTR name) {
  if (!name) return nullptr;
  registerKernelProcs();
  return reinterpret_cast<HMODULE>(find(baseName(name)));
}

HMODULE WINAPI LoadLibraryW(LPCWSTR name) { return name ? LoadLibraryA(narrow(name).c_str()) : nullptr; }

// A null name is the program itself.
HMODULE WINAPI GetModuleHandleW(LPCWSTR name) {
  return name ? LoadLibraryW(name) : reinterpret_cast<HMODULE>(find("self"));
}

BOOL WINAPI FreeLibrary(HMODULE module) { return module != nullptr; }

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name) {
  if (!module || !name) return nullptr;
  registerKernelProcs();
  const auto* m = reinterpret_cast<const KnownModule*>(module);
  std::lock_guard<std::mutex> guard(procLock);
  for (const Proc& p : procs())
    if (p.module == m->name && p.name == name) return p.proc;
  return nullptr;
}
