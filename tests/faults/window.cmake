# The fault suite as the user meets it: through the real window.
tfs_add_test(tst_faults_split tst_faults_split.cpp FaultUtil.h UI)
tfs_add_test(tst_faults_panels tst_faults_panels.cpp FaultUtil.h UI)
