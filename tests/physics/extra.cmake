# The demo program's scenes, hashed: a program of its own, since it builds them with the demo's builders.
add_executable(test_physics_oglpomu ${CMAKE_CURRENT_SOURCE_DIR}/physics/oglpomu/test_oglpomu_hashes.cpp
               ${CMAKE_CURRENT_SOURCE_DIR}/common/TestMain.cpp)
target_include_directories(test_physics_oglpomu PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/physics)
target_link_libraries(test_physics_oglpomu PRIVATE qe_gldemo GTest::gtest)
target_compile_definitions(test_physics_oglpomu PRIVATE QE_DATA_DIR="${QE_DATA_DIR}")
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/testrun/physics_oglpomu)
gtest_discover_tests(test_physics_oglpomu WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/testrun/physics_oglpomu
  DISCOVERY_MODE PRE_TEST PROPERTIES TIMEOUT 300)
