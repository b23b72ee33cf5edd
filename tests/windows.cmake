# The Windows tests: cross-built, run under Wine (the emulator of the toolchain file). They
# share the prefix's C:\Winpack, so none runs beside another. Those labelled each-config run
# in every Wine configuration of scripts/test-windows (Windows versions, code pages, dpi, a
# FAT drive); the rest in its default one, where those labelled long run apart, side by side.
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest's source tree (Debian's googletest)")
if(NOT EXISTS ${GOOGLETEST_SOURCE}/CMakeLists.txt)
  message(STATUS "No GoogleTest sources at ${GOOGLETEST_SOURCE}: the program only, no tests")
  return()
endif()
add_subdirectory(${GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

# The drive in memory, as on Linux; it touches no prefix, so it runs beside the others, and
# nothing a Wine configuration changes reaches it: it runs in the default one only.
add_library(test_memory_drive STATIC memory_drive.cpp)
target_link_libraries(test_memory_drive PUBLIC kelvaron_platform)
add_executable(memory_drive_tests memory_drive_test.cpp)
target_link_libraries(memory_drive_tests PRIVATE test_memory_drive kelvaron_no_faults GTest::gtest_main)
add_test(NAME memory_drive_tests COMMAND memory_drive_tests)

# A Winpack station in the prefix, or on a disk in memory.
add_library(test_station STATIC station.cpp station_win.cpp)
target_link_libraries(test_station PUBLIC kelvaron_platform kelvaron_settings_store
                                          test_memory_drive)

# What the two windows share, without a toolkit: the same tests as on Linux.
add_executable(form_layout_tests form_layout_test.cpp presenter_test.cpp)
target_link_libraries(form_layout_tests PRIVATE kelvaron_form GTest::gtest_main)
add_test(NAME form_layout_tests COMMAND form_layout_tests)

add_executable(core_tests ${CORE_TESTS})
target_link_libraries(core_tests PRIVATE kelvaron_run kelvaron_faults kelvaron_settings_store test_station
                                         GTest::gtest_main)
# A list another program holds past the run's wait costs that wait, seconds each: those tests
# run where the disk (links or one name a file) changes how the list is replaced, not again for
# each Windows version, code page and dpi, which do not reach them.
set(HELD_LIST_TESTS TwoRuns.NoLineAnotherProgramWritesIsLost:Interrupted.AnOldListHeldOpen*)
add_test(NAME core_tests COMMAND core_tests --gtest_filter=-Run.RecycleFailure*:${HELD_LIST_TESTS})
set_tests_properties(core_tests PROPERTIES RUN_SERIAL TRUE TIMEOUT 300 LABELS each-config)
add_test(NAME core_tests_held_list COMMAND core_tests --gtest_filter=${HELD_LIST_TESTS})
set_tests_properties(core_tests_held_list PROPERTIES RUN_SERIAL TRUE TIMEOUT 120 LABELS one-name)
# A trash that cannot take the bulletin: the shell asks before it deletes for good; the answer
# is "No", and the run must report the bulletin as not recycled, as on Linux.
add_executable(msgbox msgbox_win.cpp)
add_test(NAME core_tests_trash_refused
         COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/answer_win.sh $<TARGET_FILE:msgbox>
                 $<TARGET_FILE:core_tests> --gtest_filter=Run.RecycleFailure*)
set_tests_properties(core_tests_trash_refused PROPERTIES
  RUN_SERIAL TRUE SKIP_RETURN_CODE 77 TIMEOUT 120
  ENVIRONMENT "XDG_DATA_HOME=${CMAKE_CURRENT_BINARY_DIR}/trash_refused")

# Whole runs on drive C: in memory: they touch no prefix, so they run apart, beside the rest of
# the default configuration (labelled long), and in it only (no Windows call of theirs depends on
# it).
add_executable(memory_run_tests ${MEMORY_RUN_TESTS})
target_link_libraries(memory_run_tests PRIVATE kelvaron_run kelvaron_no_faults kelvaron_settings_store
                                               test_station GTest::gtest_main)
add_test(NAME memory_run_tests COMMAND memory_run_tests)
set_tests_properties(memory_run_tests PROPERTIES LABELS long)

# Kelvaron.exe as a person uses it, under Wine on the test run's X display.
add_test(NAME end_to_end_win COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/end_to_end.sh
                                     --wine $<TARGET_FILE:msgbox> $<TARGET_FILE:kelvaron>)
set_tests_properties(end_to_end_win PROPERTIES RUN_SERIAL TRUE SKIP_RETURN_CODE 77 TIMEOUT 180
                                                LABELS each-config)

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
set_tests_properties(lock_win PROPERTIES RUN_SERIAL TRUE SKIP_RETURN_CODE 77 TIMEOUT 120
                                          LABELS each-config)
# Kelvaron.exe on a disk that keeps one name a file, as Wine finds one of Linux's.
add_test(NAME one_name_win COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/one_name_win.sh
                                   ${KELVARON_LINUX_BUILD}/tests/libone_name_disk.so
                                   $<TARGET_FILE:run_child>)
set_tests_properties(one_name_win PROPERTIES RUN_SERIAL TRUE SKIP_RETURN_CODE 77 TIMEOUT 120)

# Faults at every file operation, and the run ended at every one in a child process.
add_executable(fault_tests child_win.cpp ${FAULT_TESTS})
target_link_libraries(fault_tests PRIVATE kelvaron_run kelvaron_faults test_station psapi
                                          GTest::gtest_main)
add_test(NAME fault_tests COMMAND fault_tests --gtest_filter=-Hostile.*)
# About 500 s under Wine on a loaded two-core machine: the limit leaves room for more load.
set_tests_properties(fault_tests PROPERTIES
  RUN_SERIAL TRUE TIMEOUT 1200 LABELS one-name
  ENVIRONMENT "KELVARON_RUN_CHILD=$<TARGET_FILE:run_child>")
# Hostile stations (a million-line list, lines of 100 MB), like the appender runs below, beside
# the rest of the default configuration (scripts/test-windows runs those labelled long apart).
add_test(NAME hostile_tests COMMAND fault_tests --gtest_filter=Hostile.*)
set_tests_properties(hostile_tests PROPERTIES RUN_SERIAL TRUE TIMEOUT 600 LABELS long)

# The program file: system DLLs only, icon, version block and manifest.
add_test(NAME program_file_win COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/program_file_win.sh
                                       $<TARGET_FILE:kelvaron>)
set_tests_properties(program_file_win PROPERTIES SKIP_RETURN_CODE 77)

# The test kit for a real Windows machine, a zip that scripts/package puts beside the
# program's: the test programs (static, like Kelvaron.exe) and run-tests.cmd, which runs them
# on scratch stations under %TEMP% and writes a report to attach to a bug report.
set(KELVARON_KIT_SUITES core_tests fault_tests)
set(KELVARON_TEST_KIT ${CMAKE_BINARY_DIR}/Kelvaron-${PROJECT_VERSION}-windows-x64-tests.zip)
string(JOIN " " KELVARON_KIT_SUITES ${KELVARON_KIT_SUITES})
configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/run-tests.cmd.in kit/run-tests.cmd @ONLY
               NEWLINE_STYLE CRLF)
add_custom_command(
  OUTPUT ${KELVARON_TEST_KIT}
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:core_tests> $<TARGET_FILE:fault_tests>
          $<TARGET_FILE:run_child> kit/
  COMMAND ${CMAKE_COMMAND} -E chdir kit ${CMAKE_COMMAND} -E tar cf ${KELVARON_TEST_KIT}
          --format=zip run-tests.cmd core_tests.exe fault_tests.exe run_child.exe
  DEPENDS core_tests fault_tests run_child ${CMAKE_CURRENT_BINARY_DIR}/kit/run-tests.cmd
  WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
  COMMENT "The Windows test kit")
add_custom_target(test_kit DEPENDS ${KELVARON_TEST_KIT})

# Winpack appending a line every millisecond under Wine through runs of Kelvaron.exe, and
# through runs of the Linux program beside it.
add_executable(appender appender.cpp)
set(KELVARON_APPENDER_RUNS 12 CACHE STRING "Runs of each appender test")
foreach(mode line held)
  add_test(NAME appender_${mode}_win
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/appender_runs.sh $<TARGET_FILE:run_child>
                   $<TARGET_FILE:appender> ${KELVARON_APPENDER_RUNS} ${mode})
  set_tests_properties(appender_${mode}_win PROPERTIES
    RUN_SERIAL TRUE SKIP_RETURN_CODE 77 TIMEOUT 900 LABELS long)
  add_test(NAME appender_${mode}_linux_run
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/appender_runs.sh
                   ${KELVARON_LINUX_BUILD}/tests/run_child $<TARGET_FILE:appender>
                   ${KELVARON_APPENDER_RUNS} ${mode})
  set_tests_properties(appender_${mode}_linux_run PROPERTIES
    RUN_SERIAL TRUE SKIP_RETURN_CODE 77 TIMEOUT 900 LABELS long)
endforeach()
