// Resource id and caption of the baseline dialog, shared by its .rc file and
// the benchmark drivers that look for it.
#ifndef TASTOMAT_BASELINE_DIALOG_IDS_H
#define TASTOMAT_BASELINE_DIALOG_IDS_H

#define IDD_BASELINE 100
#define BASELINE_CAPTION "Baseline"

#endif
