# The WebAssembly System Interface as a CMake platform (cmake/wasm32-wasi.cmake
# selects it): static libraries only, programs are <name>.wasm.
set_property(GLOBAL PROPERTY TARGET_SUPPORTS_SHARED_LIBS FALSE)
set(CMAKE_EXECUTABLE_SUFFIX .wasm)
set(CMAKE_STATIC_LIBRARY_PREFIX lib)
set(CMAKE_STATIC_LIBRARY_SUFFIX .a)
