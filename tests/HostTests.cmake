# Tests of the Linux build: the builder as a program, signing, and the
# format document. Included from CMakeLists.txt.

# The builder run as a program, on trees made with POSIX calls.
qm_test(test_builder host/TestBuilder.cpp host/TestStub.cpp host/ArchiveDump.cpp
        LIBS qm_builder qm_testkit)
target_compile_definitions(test_builder PRIVATE QM_BUILD_TOOL="$<TARGET_FILE:qm-build>"
                           QM_TEST_DATA="${CMAKE_CURRENT_SOURCE_DIR}/host/data")
add_dependencies(test_builder qm-build)

# Signing: a throwaway certificate, osslsigncode to sign and verify, on a
# stand-in stub (the script takes the real one as well).
add_executable(make-test-stub host/MakeTestStub.cpp host/TestStub.cpp)
target_include_directories(make-test-stub PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(make-test-stub PRIVATE qm_payload)
add_test(NAME setup_test_stub COMMAND make-test-stub ${CMAKE_CURRENT_BINARY_DIR}/test-stub.exe)
set_tests_properties(setup_test_stub PROPERTIES FIXTURES_SETUP test_stub)
add_test(NAME test_builder_sign
         COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/sign-check.sh
                 --builder $<TARGET_FILE:qm-build> --stub ${CMAKE_CURRENT_BINARY_DIR}/test-stub.exe)
set_tests_properties(test_builder_sign PROPERTIES FIXTURES_REQUIRED test_stub)

# The file-format document shows the block that builders search for: the
# stub's own, so that a builder written from the document finds it.
add_test(NAME test_format_doc_settings_block
         COMMAND python3 ${PROJECT_SOURCE_DIR}/scripts/stub_block.py check-doc ${PROJECT_SOURCE_DIR}/docs/format.md)

# ... and the work folder as the launcher makes it, its length as the
# builder counts it.
add_test(NAME test_format_doc_work_folder
         COMMAND python3 ${PROJECT_SOURCE_DIR}/scripts/stub_block.py check-doc-work-folder ${PROJECT_SOURCE_DIR}/docs/format.md)

# Installed like a tool: the layout, qm-build packing with the installed
# stub, the manual page, and a CMake project calling quillimark_add_installer.
if(TARGET host_stub)
  add_test(NAME test_install
           COMMAND bash ${PROJECT_SOURCE_DIR}/tests/scripts/install-check.sh ${CMAKE_BINARY_DIR}
                   ${CMAKE_CURRENT_BINARY_DIR}/install-check)
endif()
