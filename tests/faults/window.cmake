# The fault suite as the user meets it: through the real window.
tfs_add_test(tst_faults_split tst_faults_split.cpp FaultUtil.h UI)
tfs_add_test(tst_faults_panels tst_faults_panels.cpp FaultUtil.h UI)
tfs_add_test(tst_faults_join tst_faults_join.cpp FaultUtil.h UI)
tfs_add_test(tst_faults_lists tst_faults_lists.cpp FaultUtil.h UI)
tfs_add_test(tst_faults_names tst_faults_names.cpp FaultUtil.h UI)
tfs_add_test(tst_faults_checks tst_faults_checks.cpp FaultUtil.h UI)
