// Resource figures of another process, read from outside: open handles,
// USER and GDI objects, private bytes. Wine answers some of the documented
// calls with 0; a figure then comes from the nearest measure that works, or
// is marked as not available, and says which it is.
#ifndef TASTOMAT_PROCESS_PROBE_H
#define TASTOMAT_PROCESS_PROBE_H

#include <windows.h>

#include <string>

struct Figure {
    double value;
    bool available;
    std::string source;  // the call or measure the value came from
};

struct ProcessFigures {
    Figure handles;
    Figure userObjects;
    Figure gdiObjects;
    Figure privateBytes;
};

// `process` needs PROCESS_QUERY_INFORMATION, PROCESS_VM_READ and
// PROCESS_DUP_HANDLE access.
ProcessFigures MeasureProcess(HANDLE process, DWORD processId);

#endif
