# The fault suite at the engines' level: sets of every shape split and joined
# back, the destination's file-size limit, sources over 4 GiB, and a split
# killed in the middle (in a child process that drives the real window).
tfs_add_test(tst_faults_sets tst_faults_sets.cpp EngineFaultUtil.h UI)
tfs_add_test(tst_faults_limits tst_faults_limits.cpp EngineFaultUtil.h FaultUtil.h UI)
