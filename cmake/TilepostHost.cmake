# The check of the FTP server's host name, shared by the build (app/CMakeLists.txt)
# and tools/release, which runs this file as a script:
#   cmake -DHOST=NAME -P cmake/TilepostHost.cmake
# prints nothing for an acceptable name and the reason for any other.

# tp_host_problem(HOST OUT): sets OUT to why HOST is not a host name or address,
# or to "" when it is one: a DNS name (labels of letters, digits, "-" and "_",
# dots between them), an IPv4 address or an IPv6 address. The text is compiled
# into the program and its resources as it is, so nothing else may pass.
function(tp_host_problem host out)
  string(LENGTH "${host}" length)
  if(length EQUAL 0)
    set(problem "it is empty")
  elseif(length GREATER 253)
    set(problem "it is longer than 253 characters")
  elseif(NOT host MATCHES "^[A-Za-z0-9.:_-]+$")
    set(problem "it may hold only letters, digits and . : _ -")
  elseif(host MATCHES ":")
    if(NOT host MATCHES "^[0-9A-Fa-f:.]+$" OR NOT host MATCHES ":.*:")
      set(problem "it is neither a name nor an IPv6 address")
    endif()
  elseif(host MATCHES "^[.-]|[.-]$|[.][.]|-[.]|[.]-")
    set(problem "a part between dots is empty or starts or ends with -")
  endif()
  set(${out} "${problem}" PARENT_SCOPE)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  tp_host_problem("${HOST}" problem)
  if(problem)
    message("${problem}")
  endif()
endif()
