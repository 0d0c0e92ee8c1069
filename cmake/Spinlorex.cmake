# Shared compile settings and the helper that declares one subsystem library.

add_library(spinlorex_options INTERFACE)
target_compile_options(spinlorex_options INTERFACE -Wall -Wextra)
if(SPINLOREX_WERROR)
  target_compile_options(spinlorex_options INTERFACE -Werror)
endif()
target_include_directories(spinlorex_options INTERFACE "${PROJECT_SOURCE_DIR}/src")

# What the engine's own sources are also held to (libraries declared STRICT): no hidden
# narrowing, shadowing, C casts or compiler extensions unless marked, no null paths the
# optimiser can see.
add_library(spinlorex_strict_warnings INTERFACE)
target_compile_options(spinlorex_strict_warnings INTERFACE
  -Wshadow -Wconversion -Wold-style-cast -Wpedantic -Wnull-dereference)

if(SPINLOREX_SANITIZE)
  set(_spx_san -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_compile_options(${_spx_san})
  add_link_options(-fsanitize=address,undefined)
endif()

if(SPINLOREX_TSAN)
  if(SPINLOREX_SANITIZE OR SPINLOREX_FUZZ)
    message(FATAL_ERROR "SPINLOREX_TSAN cannot be combined with SPINLOREX_SANITIZE or SPINLOREX_FUZZ")
  endif()
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

if(SPINLOREX_FUZZ)
  # Every library is instrumented, so libFuzzer sees coverage inside the readers.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# spinlorex_add_library(<name> [STRICT] SOURCES ... [DEPS ...])
# Creates the static library spinlorex_<name> with the alias spinlorex::<name>; STRICT
# compiles its sources with spinlorex_strict_warnings too.
function(spinlorex_add_library name)
  cmake_parse_arguments(ARG "STRICT" "" "SOURCES;DEPS" ${ARGN})
  if(NOT ARG_SOURCES)
    message(FATAL_ERROR "spinlorex_add_library(${name}): no SOURCES")
  endif()
  add_library(spinlorex_${name} STATIC ${ARG_SOURCES})
  add_library(spinlorex::${name} ALIAS spinlorex_${name})
  target_link_libraries(spinlorex_${name} PUBLIC spinlorex_options ${ARG_DEPS})
  if(ARG_STRICT)
    target_link_libraries(spinlorex_${name} PRIVATE spinlorex_strict_warnings)
  endif()
endfunction()
