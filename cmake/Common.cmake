# Compiler settings shared by every target, and zlib.

add_compile_options(-Wall -Wextra)

if(WIN32)
  # Small, self-contained code: no exceptions of our own, no RTTI, no unwind
  # tables, every function and datum in a section of its own for the linker
  # to drop, no jump tables (a table with its relocations weighs more than
  # the compares it saves). Test programs turn exceptions back on for GoogleTest.
  set(QM_LEAN_FLAGS -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables
                    -ffunction-sections -fdata-sections -fno-jump-tables)
  # The code that no inflated byte passes through in a loop of its own (all
  # but the payload library's streams and zlib) is built smallest.
  set(QM_SMALLEST_FLAGS -Oz)
  add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0501)
  # No link time in the image header: the same sources give the same bytes
  # (the stub in both release archives is one file).
  add_link_options(-Wl,--no-insert-timestamp)
  # zlib from Debian's libz-mingw-w64-dev, linked statically.
  find_library(QM_ZLIB_STATIC NAMES libz.a REQUIRED)
  add_library(qm_zlib STATIC IMPORTED GLOBAL)
  set_target_properties(qm_zlib PROPERTIES IMPORTED_LOCATION ${QM_ZLIB_STATIC})
  # The stub's own inflate: the same zlib release from source, built small
  # (third_party/zlib/VERSION.md). Its objects come first on the stub's link
  # line, so nothing of the prebuilt library is taken for inflating.
  set(zlib_dir ${PROJECT_SOURCE_DIR}/third_party/zlib)
  # The Adler-32 sum is the stub's own compact one (payload/ZlibAdler32.c):
  # the check is turned off, and zlib's unrolled loop weighs some 700 bytes.
  add_library(qm_zlib_inflate OBJECT ${zlib_dir}/inflate.c ${zlib_dir}/inftrees.c ${zlib_dir}/zutil.c
                                     ${zlib_dir}/inffast.c ${PROJECT_SOURCE_DIR}/payload/ZlibAdler32.c)
  target_include_directories(qm_zlib_inflate PRIVATE ${zlib_dir})
  target_compile_definitions(qm_zlib_inflate PRIVATE NO_GZIP BUILDFIXED)
  # No jump tables: inflate's state switch as a jump table costs more in
  # table, relocations and padding than its compares do in code, and it is
  # not the hot loop (inffast.c is).
  target_compile_options(qm_zlib_inflate PRIVATE -Os -w -fno-asynchronous-unwind-tables
                                                 -ffunction-sections -fdata-sections -fno-jump-tables)
  # The inner loop stays fast: a few hundred bytes.
  set_source_files_properties(${zlib_dir}/inffast.c PROPERTIES COMPILE_OPTIONS -O2)
  # The fixed-code tables are built at run time (BUILDFIXED) into zeroed
  # memory, 2 KiB less in the file; without data sections that memory is
  # .bss (with them, this compiler gives every static its own .data section).
  set_source_files_properties(${zlib_dir}/inflate.c PROPERTIES COMPILE_OPTIONS -fno-data-sections)
else()
  set(QM_LEAN_FLAGS)
  find_package(ZLIB REQUIRED)
  add_library(qm_zlib INTERFACE IMPORTED GLOBAL)
  target_link_libraries(qm_zlib INTERFACE ZLIB::ZLIB)
endif()

if(QM_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# qm_library(NAME SOURCES...): a library of the product, built lean on Windows.
function(qm_library name)
  add_library(${name} STATIC ${ARGN})
  target_compile_options(${name} PRIVATE ${QM_LEAN_FLAGS})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
endfunction()

# qm_system_libraries(NAME LIBS...): Windows import libraries that the users
# of library NAME link, except for a program that binds them itself after
# start-up (the property QM_LATE_IMPORTS_ONLY, set by qm_late_imports_only in
# launcher/CMakeLists.txt): there they would define the import slots of the
# functions that launcher/LateImports.cpp leaves out.
function(qm_system_libraries name)
  foreach(lib ${ARGN})
    target_link_libraries(${name} PUBLIC $<$<NOT:$<BOOL:$<TARGET_PROPERTY:QM_LATE_IMPORTS_ONLY>>>:${lib}>)
  endforeach()
endfunction()
