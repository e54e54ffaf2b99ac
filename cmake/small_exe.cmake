# How Tastomat's own code is compiled and its exe linked, defined once: the
# release exe and the size baseline of the benchmarks both use it, so that
# their sizes compare like for like.
if(MSVC)
  # No security cookies: they need the C runtime, which the exe does without.
  set(TASTOMAT_SMALL_COMPILE_OPTIONS /GS-)
  set(TASTOMAT_SMALL_LINK_OPTIONS "")
else()
  # No exception tables or type information, and every function in a
  # section of its own so that the linker can drop what nothing calls.
  # Not -fdata-sections: for a PE target GCC then puts each zero-filled
  # global into a .data$ section, stored in the file, instead of .bss.
  # No unwind tables either: the code raises and handles no exception, so
  # nothing ever unwinds it (docs/performance.md says what that leaves out).
  # The 64-bit GCC build reaches globals directly, not through an address
  # table of its own: the exe is far smaller than 2 GiB.
  set(TASTOMAT_SMALL_COMPILE_OPTIONS -fno-exceptions -fno-rtti -ffunction-sections
    -fno-asynchronous-unwind-tables -fno-unwind-tables
    $<$<AND:$<CXX_COMPILER_ID:GNU>,$<EQUAL:${CMAKE_SIZEOF_VOID_P},8>>:-mcmodel=small>)
  # Self-contained (no DLL but Windows' own), unused sections dropped,
  # stripped in the release builds.
  set(TASTOMAT_SMALL_LINK_OPTIONS -static -Wl,--gc-sections $<$<CONFIG:MinSizeRel,Release>:-s>)
endif()

# Compiles a target's own sources the way the release exe's are compiled.
function(tastomat_small_code target)
  target_compile_options(${target} PRIVATE ${TASTOMAT_SMALL_COMPILE_OPTIONS})
endfunction()

# Compiles and links an exe the way the release exe is.
function(tastomat_small_exe target)
  tastomat_small_code(${target})
  target_link_options(${target} PRIVATE ${TASTOMAT_SMALL_LINK_OPTIONS})
endfunction()
