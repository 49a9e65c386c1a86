# The storage-pool/VFS and FCD collectors against the simulated storage
# services, in a private network namespace.
add_executable(storage_tests ${CMAKE_CURRENT_LIST_DIR}/StorageCollectorTest.cpp)
target_link_libraries(storage_tests PRIVATE collect sim GTest::gtest_main)
target_include_directories(storage_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR})
set_target_properties(storage_tests PROPERTIES
    CROSSCOMPILING_EMULATOR ${CMAKE_SOURCE_DIR}/tests/netns-run)
gtest_discover_tests(storage_tests PROPERTIES LABELS threaded)
