// Resource ids of the test program's own resources (languages.rc).
#ifndef VARNEL_DEVHOST_TEST_IDS_H
#define VARNEL_DEVHOST_TEST_IDS_H

#define IDS_GREETING 200      // neutral, Japanese, Spanish
#define IDS_ALPHABET 201      // neutral only; 201 shares its block with 200
#define IDS_ONLY_FOREIGN 300  // Japanese and Russian, no neutral
#define IDS_EMPTY_SLOT 202    // in 200's block but never defined

#define IDD_SAMPLE 400        // neutral and Japanese
#define IDD_SUB 401           // neutral only
#define IDC_LABEL 1001
#define IDC_OPEN_SUB 1003
#define IDC_LIST 1004
#define IDC_COMBO 1005
#define IDC_CHECK 1006
#define IDC_EDIT 1007
#define IDC_DATE 1008
#define IDC_DISABLED 1009

#endif
