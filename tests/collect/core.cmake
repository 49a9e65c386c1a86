# The daemon core: configuration, snapshots and rings, the collection loop.
add_executable(core_tests
    ${CMAKE_CURRENT_LIST_DIR}/SnapshotRingTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CollectorMainTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CollectorConfigTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SignalMgrTest.cpp)
target_link_libraries(core_tests PRIVATE collect tolmfs GTest::gtest_main)
target_include_directories(core_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR})
add_executable(configprobe ${CMAKE_CURRENT_LIST_DIR}/configprobe.cpp)
target_link_libraries(configprobe PRIVATE collect tolmfs)
target_compile_definitions(core_tests PRIVATE CONFIGPROBE="$<TARGET_FILE:configprobe>")
add_dependencies(core_tests configprobe)
gtest_discover_tests(core_tests PROPERTIES LABELS threaded)
