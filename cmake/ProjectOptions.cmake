# Compiler warnings and the optional sanitizer and fuzzer instrumentation,
# applied to every target of the project.
add_compile_options(-Wall -Wextra)

if(KT64_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

if(KT64_FUZZ AND NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "KT64_FUZZ needs clang (libFuzzer)")
endif()
