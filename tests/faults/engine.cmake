# The fault suite at the engines' level: sets of every shape split and joined
# back, the destination's file-size limit, sources over 4 GiB, and a split
# killed in the middle (in a child process that drives the real window).
tfs_add_test(tst_faults_sets tst_faults_sets.cpp EngineFaultUtil.h UI)
tfs_add_test(tst_faults_limits tst_faults_limits.cpp EngineFaultUtil.h FaultUtil.h UI)

# A split through the real window in a child process, which the test kills.
add_executable(split_in_window split_in_window.cpp EngineFaultUtil.h)
target_link_libraries(split_in_window PRIVATE tfs_uitest)
tfs_add_test(tst_faults_killed tst_faults_killed.cpp EngineFaultUtil.h FaultUtil.h UI)
add_dependencies(tst_faults_killed split_in_window)
target_compile_definitions(tst_faults_killed PRIVATE SPLIT_IN_WINDOW="$<TARGET_FILE:split_in_window>")

# A sparse source over 4 GiB: about 8.6 GB of parts and joined output on disk.
tfs_add_test(tst_faults_largefile tst_faults_largefile.cpp EngineFaultUtil.h FaultUtil.h UI)

# close() that fails for chosen files, preloaded into a split in a child process.
add_library(close_fails MODULE close_fails.cpp)
target_link_libraries(close_fails PRIVATE ${CMAKE_DL_LIBS})
add_dependencies(tst_faults_killed close_fails)
target_compile_definitions(tst_faults_killed PRIVATE CLOSE_FAILS="$<TARGET_FILE:close_fails>")
