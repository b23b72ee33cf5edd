# The Windows tests: cross-built, run under Wine (the emulator of the toolchain file). They
# share the prefix's C:\Winpack, so none runs beside another.
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest's source tree (Debian's googletest)")
if(NOT EXISTS ${GOOGLETEST_SOURCE}/CMakeLists.txt)
  message(STATUS "No GoogleTest sources at ${GOOGLETEST_SOURCE}: the program only, no tests")
  return()
endif()
add_subdirectory(${GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

add_library(test_station STATIC station.cpp station_win.cpp)
target_link_libraries(test_station PUBLIC kelvaron_platform kelvaron_settings_store)

add_executable(core_tests ${CORE_TESTS})
target_link_libraries(core_tests PRIVATE kelvaron_run kelvaron_faults kelvaron_settings_store test_station
                                         GTest::gtest_main)
add_test(NAME core_tests COMMAND core_tests --gtest_filter=-Run.RecycleFailure*)
set_tests_properties(core_tests PROPERTIES RUN_SERIAL TRUE TIMEOUT 300)
# A trash that cannot take the bulletin: the shell asks before it deletes for good; the answer
# is "No", and the run must report the bulletin as not recycled, as on Linux.
add_executable(msgbox msgbox_win.cpp)
add_test(NAME core_tests_trash_refused
         COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/answer_win.sh $<TARGET_FILE:msgbox>
                 $<TARGET_FILE:core_tests> --gtest_filter=Run.RecycleFailure*)
set_tests_properties(core_tests_trash_refused PROPERTIES
  RUN_SERIAL TRUE SKIP_RETURN_CODE 77 TIMEOUT 120
  ENVIRONMENT "XDG_DATA_HOME=${CMAKE_CURRENT_BINARY_DIR}/trash_refused")

# Kelvaron.exe as a person uses it, under Wine on the test run's X display.
add_test(NAME end_to_end_win COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/end_to_end.sh
                                     --wine $<TARGET_FILE:msgbox> $<TARGET_FILE:kelvaron>)
set_tests_properties(end_to_end_win PROPERTIES RUN_SERIAL TRUE SKIP_RETURN_CODE 77 TIMEOUT 180)

# One station through the Linux and the Windows run; the Linux run_child comes from the Linux
# build that scripts/test makes first.
set(KELVARON_LINUX_BUILD ${CMAKE_SOURCE_DIR}/build CACHE PATH "The Linux build to compare with")
add_executable(run_child run_child.cpp)
target_link_libraries(run_child PRIVATE kelvaron_run kelvaron_faults test_station)
add_test(NAME differential_win COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/differential_win.sh
                                       ${KELVARON_LINUX_BUILD}/tests/run_child
                                       $<TARGET_FILE:run_child>)
set_tests_properties(differential_win PROPERTIES RUN_SERIAL TRUE SKIP_RETURN_CODE 77 TIMEOUT 120)
# The run lock of the Linux program and of Kelvaron.exe is one lock.
add_executable(lock_child lock_child.cpp)
target_link_libraries(lock_child PRIVATE kelvaron_platform kelvaron_no_faults)
add_test(NAME lock_win COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/lock_win.sh
                               ${KELVARON_LINUX_BUILD}/tests/lock_child $<TARGET_FILE:lock_child>)
set_tests_properties(lock_win PROPERTIES RUN_SERIAL TRUE SKIP_RETURN_CODE 77 TIMEOUT 120)

# Faults at every file operation, and the run ended at every one in a child process.
add_executable(fault_tests child_win.cpp ${FAULT_TESTS})
target_link_libraries(fault_tests PRIVATE kelvaron_run kelvaron_faults test_station psapi
                                          GTest::gtest_main)
add_test(NAME fault_tests COMMAND fault_tests)
set_tests_properties(fault_tests PROPERTIES
  RUN_SERIAL TRUE TIMEOUT 600
  ENVIRONMENT "KELVARON_RUN_CHILD=$<TARGET_FILE:run_child>")

# The program file: system DLLs only, icon, version block and manifest.
add_test(NAME program_file_win COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/program_file_win.sh
                                       $<TARGET_FILE:kelvaron>)
set_tests_properties(program_file_win PROPERTIES SKIP_RETURN_CODE 77)

# Winpack appending a line every millisecond under Wine through runs of Kelvaron.exe, and
# through runs of the Linux program beside it.
add_executable(appender appender.cpp)
set(KELVARON_APPENDER_RUNS 12 CACHE STRING "Runs of each appender test")
foreach(mode line held)
  add_test(NAME appender_${mode}_win
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/appender_runs.sh $<TARGET_FILE:run_child>
                   $<TARGET_FILE:appender> ${KELVARON_APPENDER_RUNS} ${mode})
  set_tests_properties(appender_${mode}_win PROPERTIES
    RUN_SERIAL TRUE SKIP_RETURN_CODE 77 TIMEOUT 900)
  add_test(NAME appender_${mode}_linux_run
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/appender_runs.sh
                   ${KELVARON_LINUX_BUILD}/tests/run_child $<TARGET_FILE:appender>
                   ${KELVARON_APPENDER_RUNS} ${mode})
  set_tests_properties(appender_${mode}_linux_run PROPERTIES
    RUN_SERIAL TRUE SKIP_RETURN_CODE 77 TIMEOUT 900)
endforeach()
