# Compile policy shared by every target of the project.
add_library(tallyscope_common INTERFACE)
target_compile_options(tallyscope_common INTERFACE -Wall -Wextra -Wpedantic)
target_compile_definitions(tallyscope_common INTERFACE
  QT_NO_KEYWORDS QT_NO_CAST_FROM_ASCII QT_NO_NARROWING_CONVERSIONS_IN_CONNECT)

if(TALLYSCOPE_SANITIZE)
  set(_san -fsanitize=${TALLYSCOPE_SANITIZE} -fno-omit-frame-pointer)
  if(TALLYSCOPE_SANITIZE MATCHES "undefined")
    list(APPEND _san -fno-sanitize-recover=undefined)
  endif()
  add_compile_options(${_san})
  add_link_options(${_san})
endif()

if(TALLYSCOPE_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "TALLYSCOPE_FUZZ needs clang (CXX=clang++)")
  endif()
  # Every library is instrumented for coverage; only the fuzzer executables
  # link libFuzzer's main.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

add_custom_target(tsan_tests)
add_custom_target(fuzzers)

# tallyscope_add_test(NAME SOURCES a.cpp ... LIBS lib ... [GUI] [TSAN] [TIMEOUT s])
# GUI tests need Qt Widgets and run offscreen; the rest are labelled nongui and
# are the ones the sanitizer build runs. TSAN tests are also run by the
# ThreadSanitizer build.
function(tallyscope_add_test name)
  cmake_parse_arguments(T "GUI;TSAN" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(TALLYSCOPE_FUZZ)
    return()
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE Qt6::Test tallyscope_common ${T_LIBS})
  add_test(NAME ${name} COMMAND ${name})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set(_labels nongui)
  if(T_GUI)
    set(_labels gui)
  endif()
  if(T_TSAN)
    list(APPEND _labels tsan)
    add_dependencies(tsan_tests ${name})
  endif()
  set_tests_properties(${name} PROPERTIES LABELS "${_labels}" TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()

# tallyscope_add_fuzzer(NAME SOURCES a.cpp ... LIBS lib ... CORPUS dir RUNS n)
# Built only with TALLYSCOPE_FUZZ; registered as a test (label fuzz) that runs
# n executions over the seed corpus as a smoke check.
function(tallyscope_add_fuzzer name)
  cmake_parse_arguments(F "" "CORPUS;RUNS" "SOURCES;LIBS" ${ARGN})
  if(NOT TALLYSCOPE_FUZZ)
    return()
  endif()
  add_executable(${name} ${F_SOURCES})
  target_link_libraries(${name} PRIVATE tallyscope_common ${F_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  add_dependencies(fuzzers ${name})
  if(NOT F_RUNS)
    set(F_RUNS 200000)
  endif()
  set(_work ${CMAKE_CURRENT_BINARY_DIR}/${name}-corpus)
  add_test(NAME ${name}
    COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
      $<TARGET_FILE:${name}> -runs=${F_RUNS} -max_len=65536 ${_work} ${F_CORPUS})
  set_tests_properties(${name} PROPERTIES LABELS fuzz TIMEOUT 900)
  file(MAKE_DIRECTORY ${_work})
endfunction()
