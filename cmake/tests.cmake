# One test program per subsystem folder, built from the *_test.cpp files beside the code they test.
find_package(GTest REQUIRED)
find_package(Threads REQUIRED)
include(GoogleTest)

# Interop tests check our files with independent real readers and writers.
find_package(TIFF REQUIRED)
find_package(PNG REQUIRED)
set(KV_TEST_LINK_files TIFF::TIFF JPEG::JPEG PNG::PNG)

# The tests link the library's own objects (kvbase_static), internals included.
file(GLOB KV_TEST_HELPERS CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/kvbase/testing/*.cpp)
add_library(kvbase_testing STATIC ${KV_TEST_HELPERS})
target_link_libraries(kvbase_testing PUBLIC kvbase_static GTest::gtest)

foreach(subsystem platform foundation pixels vectors image files display render)
  file(GLOB_RECURSE tests CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/kvbase/${subsystem}/*_test.cpp)
  if(tests)
    set(target kvbase_${subsystem}_tests)
    add_executable(${target} ${tests} ${PROJECT_SOURCE_DIR}/cmake/sanitizer_options.cpp)
    target_compile_options(${target} PRIVATE ${KV_WARNINGS})
    target_link_libraries(${target} PRIVATE kvbase_testing GTest::gtest GTest::gtest_main)
    if(DEFINED KV_TEST_LINK_${subsystem})
      target_link_libraries(${target} PRIVATE ${KV_TEST_LINK_${subsystem}})
    endif()
    gtest_discover_tests(${target} WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR} DISCOVERY_TIMEOUT 60
                         PROPERTIES TIMEOUT 300)
  endif()
endforeach()

# Many threads at once on the whole library; run for longer under ThreadSanitizer by the tsan preset.
add_executable(kvbase_thread_stress ${PROJECT_SOURCE_DIR}/tests/threads/thread_stress_test.cpp
                                    ${PROJECT_SOURCE_DIR}/cmake/sanitizer_options.cpp)
target_compile_options(kvbase_thread_stress PRIVATE ${KV_WARNINGS})
target_link_libraries(kvbase_thread_stress PRIVATE kvbase_testing GTest::gtest GTest::gtest_main Threads::Threads)
gtest_discover_tests(kvbase_thread_stress DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 600 LABELS stress)
