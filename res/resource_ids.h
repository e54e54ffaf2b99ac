// Resource and control ids, shared by tastomat.rc and the code that uses them.
#ifndef TASTOMAT_RESOURCE_IDS_H
#define TASTOMAT_RESOURCE_IDS_H

#define IDD_MAIN 100

#define ID_ERSATZ 101
#define ID_STANDARD 102
#define ID_VERSTECKEN 103
#define ID_BEENDEN 104
#define ID_TITLE 105

// The icon group is named, not numbered.
#define IDG_NAME "IDG"

#endif
