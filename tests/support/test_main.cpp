// Test main: brings up the main heap and the string engine as start-up does,
// runs the cases, and tears both down as shut-down does.
#include <gtest/gtest.h>

#include "core/heap.h"
#include "core/map.h"
#include "core/string.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  Heap_Main = HeapCreate(0, 4096, 0);
  String_Init();
  Map_InstallHandlers();
  int result = RUN_ALL_TESTS();
  String_End();
  HeapDestroy(Heap_Main);
  Heap_Main = nullptr;
  return result;
}
