# kt64_label_targets(NAME LABELS...)
# Each label L also names a target, tests_L, that builds the tests of that
# label and the programs they run, so that a sanitizer build makes only
# what it runs (cmake --build . --target tests_threads; ctest -L threads).
function(kt64_label_targets name)
  foreach(label ${ARGN})
    if(NOT TARGET tests_${label})
      add_custom_target(tests_${label})
    endif()
    add_dependencies(tests_${label} ${name})
  endforeach()
endfunction()

# kt64_add_test(NAME SOURCES ... LIBS ... [LABELS ...] [TIMEOUT s])
# One GoogleTest binary registered as one CTest test. Tests labelled "pure"
# touch no device, network or service; those labelled "threads" run threads
# of the programs (server, client, synchronisation, console). Both also
# run in the sanitizer builds (scripts/test).
function(kt64_add_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} kt64_test_support GTest::gtest GTest::gtest_main GTest::gmock Threads::Threads)
  add_test(NAME ${name} COMMAND ${name} --gtest_color=no)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "${T_LABELS}")
  kt64_label_targets(${name} ${T_LABELS})
endfunction()

# kt64_add_qt_test(NAME SOURCES ... LIBS ... [LABELS ...] [TIMEOUT s])
# One Qt Test binary registered as one CTest test, run on the offscreen
# platform so that it needs no display.
function(kt64_add_qt_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  set_target_properties(${name} PROPERTIES AUTOMOC ON AUTOUIC ON AUTORCC ON)
  target_link_libraries(${name} PRIVATE ${T_LIBS} kt64_test_support Qt6::Test Qt6::Widgets Threads::Threads)
  add_test(NAME ${name} COMMAND ${name})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "${T_LABELS};console"
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
  kt64_label_targets(${name} ${T_LABELS} console)
endfunction()
