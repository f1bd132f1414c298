# Tests of the Windows builds, run under Wine (scripts/wine-run): the
# product (the 32-bit stub) and its 64-bit twin alike. Included from
# CMakeLists.txt.

# Helpers of the Windows tests: Wine, links, own file and times.
add_library(qm_testwin STATIC win/WineHelpers.cpp)
target_link_libraries(qm_testwin PUBLIC qm_testkit)

# The support layer against the real Windows functions.
add_executable(qm_version_probe win/VersionProbe.cpp)
target_link_libraries(qm_version_probe PRIVATE qm_support)
target_link_options(qm_version_probe PRIVATE -mconsole)
qm_test(test_windows_version win/TestWindowsVersion.cpp LIBS qm_support qm_testwin)
add_dependencies(test_windows_version qm_version_probe)
qm_test(test_known_folders win/TestKnownFolders.cpp LIBS qm_support qm_testwin)
qm_test(test_filesystem win/TestFileSystem.cpp LIBS qm_support qm_testwin)
qm_test(test_removetree win/TestRemoveTree.cpp win/TestTreeClaim.cpp win/TreeSnapshot.cpp LIBS qm_support qm_testwin)

# The builder's Windows build, on trees made with the Windows calls.
qm_test(test_builder_win win/TestBuilderWin.cpp host/TestStub.cpp host/ArchiveDump.cpp
        LIBS qm_builder qm_testwin)
target_compile_definitions(test_builder_win PRIVATE QM_BUILD_TOOL="$<TARGET_FILE:qm-build>")
add_dependencies(test_builder_win qm-build)

# Extraction into the work folder, on combined files, under Wine.
set(QM_EXTRACT_TEST_SOURCES win/ExtractionSite.cpp win/TreeSnapshot.cpp)
qm_test(test_extract win/TestExtract.cpp ${QM_EXTRACT_TEST_SOURCES} LIBS qm_launcher qm_testwin)
# The stale-folder sweep's cases run the installer fixture from such folders.
add_dependencies(test_extract installer_fixture)
qm_test(test_extract_damage win/TestExtractDamage.cpp ${QM_EXTRACT_TEST_SOURCES} LIBS qm_launcher qm_testwin)
# A failing close of an extracted file, through a stand-in for CloseHandle.
qm_test(test_extract_close win/TestExtractClose.cpp ${QM_EXTRACT_TEST_SOURCES} LIBS qm_launcher qm_testwin)

# Installer launch and restart. A restart under Wine ends every process of
# the Wine session, so every program that can get there runs in a Wine
# prefix of its own, one at a time; win/launch-prefix.sh prepares it and
# gives each program its Windows version by name.
add_executable(installer_fixture WIN32 win/InstallerFixture.cpp)
add_library(qm_launchtest STATIC win/LaunchRecorder.cpp win/LaunchScenario.cpp
            win/ShiftJisText.cpp win/ShutdownPrivilege.cpp)
target_link_libraries(qm_launchtest PUBLIC qm_launcher qm_testwin)
add_dependencies(qm_launchtest installer_fixture)

qm_test(test_work_folder win/TestWorkFolder.cpp LIBS qm_launcher)
qm_test(test_launch_shell win/TestLaunch.cpp LIBS qm_launchtest)
target_compile_definitions(test_launch_shell PRIVATE QM_LAUNCH_BY_SHELL=1)
qm_test(test_launch_process win/TestLaunch.cpp LIBS qm_launchtest)
target_compile_definitions(test_launch_process PRIVATE QM_LAUNCH_BY_SHELL=0)
qm_test(test_shutdown_privilege win/TestShutdownPrivilege.cpp LIBS qm_launchtest)
qm_test(test_restart_refused win/TestRestartRefused.cpp LIBS qm_launchtest)
add_executable(restart_scenario win/RestartScenario.cpp)
target_link_libraries(restart_scenario PRIVATE qm_launchtest)
target_link_options(restart_scenario PRIVATE -mconsole)

set(launch_prefix "WINEPREFIX=${CMAKE_BINARY_DIR}/wine/launch-prefix")
set(wine_run ${PROJECT_SOURCE_DIR}/scripts/wine-run)
add_test(NAME setup_launch_prefix
         COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/win/launch-prefix.sh ${wine_run}
                 test_launch_shell.exe win7 test_launch_process.exe winxp64
                 test_shutdown_privilege.exe win7
                 test_restart_refused.exe win7
                 restart_scenario.exe win7
                 real-setup-xp.exe winxp64 real-setup-7.exe win7)
set_tests_properties(setup_launch_prefix PROPERTIES FIXTURES_SETUP qm_launch_prefix
                     RESOURCE_LOCK qm_launch_prefix ENVIRONMENT ${launch_prefix})
add_test(NAME test_restart_scenario
         COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/win/restart-scenario.sh ${wine_run}
                 $<TARGET_FILE:restart_scenario>)
set_tests_properties(test_launch_shell test_launch_process test_shutdown_privilege
                     test_restart_refused test_restart_scenario
                     PROPERTIES FIXTURES_REQUIRED qm_launch_prefix RESOURCE_LOCK qm_launch_prefix
                                ENVIRONMENT ${launch_prefix})

# The real stub with the installer fixture, in both launch modes (the
# launch prefix gives the installers' names their versions): an installer
# that broadcasts while it is waited for, and the launcher's own arguments
# passed on; on code page 932 and 1252. It shows the progress window, hence
# the display lock.
qm_test(test_real_launch win/TestRealLaunch.cpp
        LIBS qm_builder qm_testwin shell32)
target_compile_definitions(test_real_launch PRIVATE QM_BUILD_TOOL="$<TARGET_FILE:qm-build>"
                           QM_STUB="$<TARGET_FILE:quillimark-stub>" QM_INSTALLER_FIXTURE="$<TARGET_FILE:installer_fixture>")
add_dependencies(test_real_launch qm-build quillimark-stub installer_fixture)
add_test(NAME test_real_launch_en COMMAND test_real_launch)
set_tests_properties(test_real_launch PROPERTIES FIXTURES_REQUIRED qm_launch_prefix
                     RESOURCE_LOCK "qm_launch_prefix;qm_display" ENVIRONMENT ${launch_prefix})
set_tests_properties(test_real_launch_en PROPERTIES FIXTURES_REQUIRED qm_launch_prefix
                     RESOURCE_LOCK "qm_launch_prefix;qm_display"
                     ENVIRONMENT "${launch_prefix};QM_LOCALE=en_US.UTF-8;QM_EXPECT_ACP=1252")

# The stub's window layer watched from outside: a test variant of the stub
# (flow doubles, the failing allocator), the window watcher, a DLL planted
# beside the stub and a control program that loads it.
qm_stub(stub_testvariant win/FakeFlow.cpp)
target_compile_definitions(stub_testvariant PRIVATE QM_FAILING_ALLOCATOR)
add_executable(window_watcher win/WindowWatcher.cpp)
target_link_options(window_watcher PRIVATE -mconsole)
target_link_libraries(window_watcher PRIVATE gdi32 user32)
add_library(planted_version SHARED win/PlantedVersion.cpp)
set_target_properties(planted_version PROPERTIES OUTPUT_NAME version PREFIX ""
                      RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/planted)
target_link_options(planted_version PRIVATE -static -static-libgcc)
add_executable(planting_control win/PlantingControl.cpp)
target_link_options(planting_control PRIVATE -mconsole)
add_library(qm_watchedrun STATIC win/WatchedRun.cpp)
target_link_libraries(qm_watchedrun PUBLIC qm_testwin)

qm_test(test_main_form win/TestMainForm.cpp LIBS qm_watchedrun)
add_dependencies(test_main_form stub_testvariant window_watcher)
# The same on a Western system (ANSI code page 1252), where the texts are
# shown through the wide functions.
add_test(NAME test_main_form_en COMMAND test_main_form)
set_tests_properties(test_main_form_en PROPERTIES ENVIRONMENT "QM_LOCALE=en_US.UTF-8;QM_EXPECT_ACP=1252")
qm_test(test_out_of_memory win/TestOutOfMemory.cpp LIBS qm_watchedrun)
add_dependencies(test_out_of_memory stub_testvariant window_watcher)
# On an English system the texts are converted, which allocates too.
add_test(NAME test_out_of_memory_en COMMAND test_out_of_memory)
set_tests_properties(test_out_of_memory_en PROPERTIES ENVIRONMENT "QM_LOCALE=en_US.UTF-8")
qm_test(test_dll_planting win/TestDllPlanting.cpp LIBS qm_watchedrun)
add_dependencies(test_dll_planting quillimark-stub window_watcher planted_version planting_control)
if(TEST test_dll_planting)
  # A native version.dll first, as Windows searches a program's folder
  # first; the test and its helpers sit where there is none.
  set_tests_properties(test_dll_planting PROPERTIES ENVIRONMENT "WINEDLLOVERRIDES=version=n,b")
endif()
# Programs that put windows on the shared display, one at a time: the
# watcher looks at the screen's pixels.
if(TEST test_main_form)
  set_tests_properties(test_main_form test_main_form_en test_out_of_memory test_out_of_memory_en test_dll_planting
                       PROPERTIES RESOURCE_LOCK qm_display)
endif()
# The real stub's exit status: the installer's code, or the launcher's own
# for each of its failures. Under the window watcher, which dismisses the
# message boxes.
qm_test(test_exit_status win/TestExitStatus.cpp LIBS qm_builder qm_watchedrun)
target_compile_definitions(test_exit_status PRIVATE QM_BUILD_TOOL="$<TARGET_FILE:qm-build>"
                           QM_STUB="$<TARGET_FILE:quillimark-stub>" QM_INSTALLER_FIXTURE="$<TARGET_FILE:installer_fixture>")
add_dependencies(test_exit_status qm-build quillimark-stub installer_fixture window_watcher)
set_tests_properties(test_exit_status PROPERTIES RESOURCE_LOCK qm_display)
qm_test(test_dll_search_path win/TestDllSearchPath.cpp ${QM_LAUNCHER_DIR}/DllSearchPath.cpp LIBS qm_support)
add_library(qm_search_probe SHARED win/SearchProbe.cpp)
set_target_properties(qm_search_probe PROPERTIES PREFIX "")
target_link_options(qm_search_probe PRIVATE -static -static-libgcc)
add_dependencies(test_dll_search_path qm_search_probe)
qm_test(test_stub_resources win/TestResources.cpp LIBS qm_watchedrun version)
add_dependencies(test_stub_resources quillimark-stub)
target_include_directories(test_stub_resources PRIVATE ${QM_LAUNCHER_BINARY_DIR})

# The round trip: a tree packed by qm-build.exe with the real stub,
# unpacked by the installer, copied out by the installer program that it
# starts (the tree-copy fixture), and compared with the source.
add_executable(tree_copy_fixture WIN32 win/TreeCopyFixture.cpp win/TreeListing.cpp ${PROJECT_SOURCE_DIR}/tools/WideText.cpp)
target_include_directories(tree_copy_fixture PRIVATE ${PROJECT_SOURCE_DIR})
target_link_options(tree_copy_fixture PRIVATE -municode)
qm_test(test_round_trip win/TestRoundTrip.cpp win/TreeListing.cpp LIBS qm_builder qm_testwin shell32)
target_compile_definitions(test_round_trip PRIVATE QM_BUILD_TOOL="$<TARGET_FILE:qm-build>"
                           QM_STUB="$<TARGET_FILE:quillimark-stub>" QM_TREE_FIXTURE="$<TARGET_FILE:tree_copy_fixture>")
add_dependencies(test_round_trip qm-build quillimark-stub tree_copy_fixture)
# The same on an English system (ANSI code page 1252): the Japanese names,
# 0x5C trail bytes included, reach the file system through the wide
# functions.
add_test(NAME test_round_trip_en COMMAND test_round_trip)
set_tests_properties(test_round_trip_en PROPERTIES ENVIRONMENT "QM_LOCALE=en_US.UTF-8;QM_EXPECT_ACP=1252")
# And for a user whose profile folder has a name that neither code page 932
# nor 1252 can hold, in a prefix of its own (its shell folders changed),
# on a Japanese and on an English system.
set(profile_prefix "WINEPREFIX=${CMAKE_BINARY_DIR}/wine/profile-prefix")
add_test(NAME setup_profile_prefix
         COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/win/profile-prefix.sh ${PROJECT_SOURCE_DIR}/scripts/wine-run)
set_tests_properties(setup_profile_prefix PROPERTIES FIXTURES_SETUP qm_profile_prefix
                     RESOURCE_LOCK qm_profile_prefix ENVIRONMENT ${profile_prefix})
add_test(NAME test_round_trip_profile COMMAND test_round_trip)
add_test(NAME test_round_trip_profile_en COMMAND test_round_trip)
set_tests_properties(test_round_trip_profile PROPERTIES
                     ENVIRONMENT "${profile_prefix};QM_EXPECT_FOREIGN_PROFILE=1")
set_tests_properties(test_round_trip_profile_en PROPERTIES
                     ENVIRONMENT "${profile_prefix};QM_EXPECT_FOREIGN_PROFILE=1;QM_LOCALE=en_US.UTF-8;QM_EXPECT_ACP=1252")
set_tests_properties(test_round_trip_profile test_round_trip_profile_en PROPERTIES
                     FIXTURES_REQUIRED qm_profile_prefix RESOURCE_LOCK qm_profile_prefix)
# And where UTF-8 is the ANSI code page (65001; Windows' "Use Unicode UTF-8
# for worldwide language support"): Wine takes it from a program's manifest,
# so the stub runs as a variant whose manifest asks for it (the product's
# code), started by a test that asks for it too.
qm_stub(stub_utf8 RESOURCES win/Utf8Stub.rc)
target_link_libraries(stub_utf8 PRIVATE qm_launcher)
set_source_files_properties(win/Utf8Stub.rc PROPERTIES OBJECT_DEPENDS
                            "${QM_LAUNCHER_BINARY_DIR}/MainIcon.ico;${CMAKE_CURRENT_SOURCE_DIR}/win/Utf8.manifest")
qm_test(test_round_trip_utf8 win/TestRoundTrip.cpp win/TreeListing.cpp win/Utf8Test.rc LIBS qm_builder qm_testwin shell32)
set_source_files_properties(win/Utf8Test.rc PROPERTIES OBJECT_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/win/Utf8.manifest)
target_compile_definitions(test_round_trip_utf8 PRIVATE QM_BUILD_TOOL="$<TARGET_FILE:qm-build>"
                           QM_STUB="$<TARGET_FILE:stub_utf8>" QM_TREE_FIXTURE="$<TARGET_FILE:tree_copy_fixture>")
add_dependencies(test_round_trip_utf8 qm-build stub_utf8 tree_copy_fixture)
set_tests_properties(test_round_trip_utf8 PROPERTIES ENVIRONMENT "QM_EXPECT_ACP=65001")

# Signing the real stub with the sample installer in it, packed by the
# builder for this (Linux) machine; the signed installer is then run under
# Wine.
include(${PROJECT_SOURCE_DIR}/cmake/HostBuilder.cmake)
add_test(NAME test_signed_installer
         COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/sign-check.sh --builder ${QM_HOST_BUILDER}
                 --stub $<TARGET_FILE:quillimark-stub> --program $<TARGET_FILE:lvxrun>
                 --run ${PROJECT_SOURCE_DIR}/scripts/wine-run)
# Real installers show the progress window: not beside the tests that
# look for it on the shared display.
set(QM_REAL_INSTALLER_TESTS test_signed_installer)
if(TEST test_round_trip)
  list(APPEND QM_REAL_INSTALLER_TESTS test_round_trip)
endif()
set_tests_properties(${QM_REAL_INSTALLER_TESTS} PROPERTIES RESOURCE_LOCK qm_display)

# The product itself (the 32-bit stub; on x86-64 the twin): the image
# format, GUI, no wide imports but the few it uses, the settings block
# once, nothing but kernel32 and the C runtime at load time, every late
# import reachable; its imports and size.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  set(QM_CHECK_TWIN)
else()
  set(QM_CHECK_TWIN --twin)
endif()
add_test(NAME test_product_check
         COMMAND ${PROJECT_SOURCE_DIR}/scripts/check-product.sh $<TARGET_FILE:quillimark-stub> ${QM_CHECK_TWIN})
# Installed like a tool: the layout with this build's stub, and the
# installed qm-build.exe packing with it when --stub is not given.
add_test(NAME test_install
         COMMAND bash ${PROJECT_SOURCE_DIR}/tests/scripts/install-check.sh ${CMAKE_BINARY_DIR}
                 ${CMAKE_CURRENT_BINARY_DIR}/install-check --wine)
# The late-import list is enforced by the link: a stub linked the product's
# way that calls a function missing from it (IsIconic) does not link.
add_test(NAME test_late_import_list_enforced
         COMMAND ${CMAKE_COMMAND} --build ${CMAKE_BINARY_DIR} --target stub_missing_late_import)
set_tests_properties(test_late_import_list_enforced PROPERTIES
                     PASS_REGULAR_EXPRESSION "undefined reference to `_?_imp__?IsIconic(@4)?'")
# The check really reads the import tables and searches for the block: a
# program with wide imports that the stub does not use and without
# settings is refused for both (a wide import the stub uses is not),
# and a program whose delay-load address table points nowhere (what this
# linker's delay-load library makes on 32 bits) for that.
add_executable(wide_import_probe WIN32 win/WideImportProbe.cpp)
add_test(NAME test_product_check_refuses_probe
         COMMAND bash ${PROJECT_SOURCE_DIR}/tests/scripts/expect_check_refuses.sh
                 ${PROJECT_SOURCE_DIR}/scripts/check-product.sh $<TARGET_FILE:wide_import_probe> ${QM_CHECK_TWIN}
                 "kernel32.dll: GetModuleFileNameW" "user32.dll: GetWindowTextW" "!user32.dll: MessageBoxW"
                 "FAIL: the stub settings block occurs 0 times, not once")
set(probe_def ${CMAKE_CURRENT_SOURCE_DIR}/win/delay-probe-user32.def)
set(probe_lib ${CMAKE_CURRENT_BINARY_DIR}/libdelay_probe_user32.a)
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  set(kill_at --kill-at)
else()
  # No stdcall decorations on 64 bits.
  file(READ ${probe_def} text)
  string(REGEX REPLACE "@[0-9]+" "" text "${text}")
  set(probe_def ${CMAKE_CURRENT_BINARY_DIR}/delay-probe-user32.def)
  file(WRITE ${probe_def} "${text}")
  set(kill_at)
endif()
add_custom_command(OUTPUT ${probe_lib}
  COMMAND ${QM_TRIPLE}-dlltool --input-def ${probe_def} --dllname user32.dll --output-delaylib ${probe_lib} ${kill_at}
  DEPENDS ${probe_def})
add_custom_target(delay_probe_lib DEPENDS ${probe_lib})
add_executable(delay_import_probe WIN32 win/DelayImportProbe.cpp)
add_dependencies(delay_import_probe delay_probe_lib)
target_link_options(delay_import_probe PRIVATE -Wl,--whole-archive ${probe_lib} -Wl,--no-whole-archive)
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  add_test(NAME test_product_check_refuses_empty_delay_slots
           COMMAND bash ${PROJECT_SOURCE_DIR}/tests/scripts/expect_check_refuses.sh
                   ${PROJECT_SOURCE_DIR}/scripts/check-product.sh $<TARGET_FILE:delay_import_probe>
                   "FAIL: user32.dll: MessageBeep: its address-table entry (0x0) points at no code in the image")
else()
  # Filled in by the same library on 64 bits: listed, not refused.
  add_test(NAME test_late_imports_reads_delay_slots
           COMMAND python3 ${PROJECT_SOURCE_DIR}/scripts/late-imports.py $<TARGET_FILE:delay_import_probe>)
  set_tests_properties(test_late_imports_reads_delay_slots PROPERTIES PASS_REGULAR_EXPRESSION "^user32.dll: MessageBeep\n$")
endif()
