# Cross-compiles the libraries without windows and the command-line programs
# for WebAssembly (wasm32-wasi) with Debian's clang, lld, wasi-libc and the
# wasm32 builds of libc++ and libc++abi:
#
#   cmake -S . -B build-wasm -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/wasm32-wasi.cmake \
#         -DKOVAR_GUI=OFF -DKOVAR_BENCH=OFF
#
# Programs come out as <name>.wasm, WASI "command" modules that any WASI host
# runs (web/engine/kovar-wasi starts them under Node); web/engine builds the
# page's engine module beside them.
set(CMAKE_SYSTEM_NAME WASI) # cmake/Platform/WASI.cmake
list(APPEND CMAKE_MODULE_PATH ${CMAKE_CURRENT_LIST_DIR})
set(CMAKE_SYSTEM_VERSION 1)
set(CMAKE_SYSTEM_PROCESSOR wasm32)
set(KOVAR_WASM ON)

set(kovar_wasm_triple wasm32-wasi)
find_program(CMAKE_C_COMPILER NAMES clang-19 clang REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES clang++-19 clang++ REQUIRED)
find_program(KOVAR_WASM_LD NAMES wasm-ld-19 wasm-ld REQUIRED)
# An archiver that reads clang 19's objects, also the bitcode of link-time
# optimisation (the system's default llvm-ar may be older).
find_program(KOVAR_WASM_AR NAMES llvm-ar-19 REQUIRED)
find_program(KOVAR_WASM_RANLIB NAMES llvm-ranlib-19 REQUIRED)
set(CMAKE_AR ${KOVAR_WASM_AR} CACHE FILEPATH "Archiver" FORCE)
set(CMAKE_RANLIB ${KOVAR_WASM_RANLIB} CACHE FILEPATH "Archive indexer" FORCE)
set(CMAKE_C_COMPILER_TARGET ${kovar_wasm_triple})
set(CMAKE_CXX_COMPILER_TARGET ${kovar_wasm_triple})
# Debian puts wasi-libc under /usr/include/wasm32-wasi and /usr/lib/wasm32-wasi,
# which clang finds from the sysroot /usr and the target's multiarch name.
set(CMAKE_SYSROOT /usr)

# No threads, no exceptions. The bulk memory operations (block copies as one
# instruction), float-to-int conversions without traps and sign extension
# are in every browser since 2021 and in Node since version 14.
set(kovar_wasm_features "-mbulk-memory -mnontrapping-fptoint -msign-ext")
set(CMAKE_C_FLAGS_INIT "-fno-exceptions ${kovar_wasm_features}")
set(CMAKE_CXX_FLAGS_INIT "-fno-exceptions ${kovar_wasm_features}")
# The smallest code, with link-time optimisation across all libraries; the
# few targets whose speed matters (the processor core, the page's engine)
# ask for -O2 themselves (web/engine/CMakeLists.txt). Measured with
# bench/engine_wasm_vs_native.sh: as fast as -O2 throughout, a quarter smaller.
# (Cache entries, as clang's own defaults would append -O3 to *_INIT.)
set(CMAKE_C_FLAGS_RELEASE "-Oz -DNDEBUG" CACHE STRING "Flags of release builds")
set(CMAKE_CXX_FLAGS_RELEASE "-Oz -DNDEBUG" CACHE STRING "Flags of release builds")
set(CMAKE_INTERPROCEDURAL_OPTIMIZATION ON)
# The stack first, so that running out of it traps instead of overwriting
# data; 1 MiB, as much as a native thread gets at the least.
set(CMAKE_EXE_LINKER_FLAGS_INIT
    "-fuse-ld=${KOVAR_WASM_LD} -Wl,--gc-sections -Wl,--stack-first -Wl,-z,stack-size=1048576")
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-Wl,--strip-all")
set(CMAKE_C_FLAGS_INIT "${CMAKE_C_FLAGS_INIT} -ffunction-sections -fdata-sections")
set(CMAKE_CXX_FLAGS_INIT "${CMAKE_CXX_FLAGS_INIT} -ffunction-sections -fdata-sections")

# A compiler check would link a program, which needs the flags above; the
# static library form avoids depending on them during the check.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)

set(CMAKE_FIND_ROOT_PATH /usr/lib/wasm32-wasi /usr/include/wasm32-wasi)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
