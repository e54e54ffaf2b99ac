# Cross build for 64-bit Windows with clang and lld: a second compiler and
# linker for the same target, against the same mingw-w64 headers and
# libraries as the GCC build (the C++ library is GCC's libstdc++).
include(${CMAKE_CURRENT_LIST_DIR}/mingw-x64.cmake)
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET ${MINGW_PREFIX})
set(CMAKE_CXX_COMPILER_TARGET ${MINGW_PREFIX})
set(CMAKE_SYSROOT /usr/${MINGW_PREFIX})

# clang 14 does not take GCC's library directory (named like "12-posix") for
# a version, so it does not find libstdc++ and libgcc there by itself. GCC
# tells where they are.
execute_process(COMMAND ${MINGW_PREFIX}-g++-posix -print-file-name=libstdc++.a
  OUTPUT_VARIABLE libstdcxx OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
get_filename_component(gcc_lib_dir ${libstdcxx} DIRECTORY)
set(cxx_include ${gcc_lib_dir}/include/c++)
set(CMAKE_CXX_FLAGS_INIT
  "-isystem ${cxx_include} -isystem ${cxx_include}/${MINGW_PREFIX} -isystem ${cxx_include}/backward")
# -pthread: the POSIX-thread libstdc++ needs winpthread, as with GCC.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fuse-ld=lld -pthread -L${gcc_lib_dir}")
