# Links an exe without any C runtime: it starts at TastomatStartup in
# src/app/runtime.cpp, which also gives it heap memory and the memory and
# string functions, and it imports from Windows' own DLLs only. Nothing may
# need to run before the entry point; the PE checks make sure of that.
# Compiled once, for every exe that links it.
add_library(tastomat_runtime OBJECT ${CMAKE_CURRENT_LIST_DIR}/../src/app/runtime.cpp)
tastomat_small_code(tastomat_runtime)
if(NOT MSVC)
  # The runtime's loops must stay loops: GCC would otherwise recognise the
  # byte loops of memset and memcpy and call memset and memcpy from them.
  target_compile_options(tastomat_runtime PRIVATE -fno-builtin
    $<$<CXX_COMPILER_ID:GNU>:-fno-tree-loop-distribute-patterns>)
endif()

function(tastomat_without_c_runtime target)
  target_link_libraries(${target} PRIVATE tastomat_runtime)
  if(MSVC)
    # Its code and its libraries' are compiled without security cookies
    # (cmake/small_exe.cmake).
    target_link_options(${target} PRIVATE /NODEFAULTLIB /ENTRY:TastomatStartup)
    target_link_libraries(${target} PRIVATE kernel32 user32 shell32)
  else()
    # The 32-bit ABI puts an underscore before C names.
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
      set(entry _TastomatStartup)
    else()
      set(entry TastomatStartup)
    endif()
    # No start-up files and no default libraries; libgcc stays for the stack
    # probe that a frame larger than a page needs.
    # The map tells the PE checks where the entry point is and which input
    # sections went into the exe.
    target_link_options(${target} PRIVATE -nostdlib -Wl,--entry,${entry}
      -Wl,-Map=$<TARGET_FILE_DIR:${target}>/${target}.map
      # clang's driver warns about the toolchain's -pthread, unused here.
      $<$<CXX_COMPILER_ID:Clang>:-Wno-unused-command-line-argument>)
    target_link_libraries(${target} PRIVATE kernel32 user32 shell32 gcc)
  endif()
endfunction()
