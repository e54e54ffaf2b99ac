// Resource figures of another process, read from outside. A live process
// always holds some handles, a window and private memory, so a documented
// call that answers 0 (as several do in Wine) is taken as unsupported.
#include "process_probe.h"

#include <psapi.h>
#include <winternl.h>

#include <vector>

namespace {

// The size of the process's handle table as the system reports it for all
// processes (Wine: the allocated table, which bounds the handle values).
ULONG HandleTableSize(DWORD processId) {
    using QuerySystem = NTSTATUS(NTAPI*)(ULONG, PVOID, ULONG, PULONG);
    // Through a function pointer without parameters, the one cast between
    // function types that the compilers take as meant.
    QuerySystem query = reinterpret_cast<QuerySystem>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    if (query == NULL) return 0;
    std::vector<char> buffer(1 << 16);
    ULONG needed = 0;
    NTSTATUS status;
    const ULONG kSystemProcessInformation = 5;
    while ((status = query(kSystemProcessInformation, buffer.data(), (ULONG)buffer.size(),
                           &needed)) == (NTSTATUS)0xC0000004L) {  // info length mismatch
        buffer.resize(buffer.size() * 2);
    }
    if (status != 0) return 0;
    for (size_t offset = 0;;) {
        const SYSTEM_PROCESS_INFORMATION* entry =
            (const SYSTEM_PROCESS_INFORMATION*)(buffer.data() + offset);
        if ((DWORD)(ULONG_PTR)entry->UniqueProcessId == processId) return entry->HandleCount;
        if (entry->NextEntryOffset == 0) return 0;
        offset += entry->NextEntryOffset;
    }
}

// Counts the open handles by trying to duplicate every handle value the
// process's table can hold.
Figure ProbeHandles(HANDLE process, DWORD processId) {
    ULONG tableSize = HandleTableSize(processId);
    double open = 0;
    for (ULONG index = 1; index <= tableSize; ++index) {
        HANDLE copy = NULL;
        if (DuplicateHandle(process, (HANDLE)(ULONG_PTR)(index * 4), GetCurrentProcess(), &copy, 0,
                            FALSE, DUPLICATE_SAME_ACCESS)) {
            CloseHandle(copy);
            ++open;
        }
    }
    return {open, tableSize != 0, "duplicable handle values (GetProcessHandleCount gives 0)"};
}

struct WindowCount {
    DWORD processId;
    double windows;
};

BOOL CALLBACK CountChild(HWND window, LPARAM data) {
    WindowCount& count = *(WindowCount*)data;
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == count.processId) ++count.windows;
    return TRUE;
}

// Every top-level window, and all their descendants, so that a window the
// process made inside another process's window is counted too.
BOOL CALLBACK CountTopLevel(HWND window, LPARAM data) {
    CountChild(window, data);
    EnumChildWindows(window, CountChild, data);
    return TRUE;
}

Figure CountWindows(DWORD processId) {
    WindowCount count = {processId, 0};
    EnumWindows(CountTopLevel, (LPARAM)&count);
    return {count.windows, true, "windows it owns (GetGuiResources gives 0)"};
}

}  // namespace

ProcessFigures MeasureProcess(HANDLE process, DWORD processId) {
    ProcessFigures figures;

    DWORD handles = 0;
    if (GetProcessHandleCount(process, &handles) && handles != 0) {
        figures.handles = {(double)handles, true, "GetProcessHandleCount"};
    } else {
        figures.handles = ProbeHandles(process, processId);
    }

    DWORD user = GetGuiResources(process, GR_USEROBJECTS);
    figures.userObjects =
        user != 0 ? Figure{(double)user, true, "GetGuiResources"} : CountWindows(processId);

    DWORD gdi = GetGuiResources(process, GR_GDIOBJECTS);
    figures.gdiObjects = gdi != 0 ? Figure{(double)gdi, true, "GetGuiResources"}
                                  : Figure{0, false, "none: GetGuiResources gives 0"};

    PROCESS_MEMORY_COUNTERS_EX memory = {};
    memory.cb = sizeof memory;
    if (!GetProcessMemoryInfo(process, (PROCESS_MEMORY_COUNTERS*)&memory, sizeof memory)) {
        figures.privateBytes = {0, false, "none: GetProcessMemoryInfo failed"};
    } else if (memory.PrivateUsage != 0) {
        figures.privateBytes = {(double)memory.PrivateUsage, true, "PrivateUsage"};
    } else {
        // Windows gives its private bytes here too; Wine gives the
        // process's resident anonymous memory plus what is swapped out.
        figures.privateBytes = {(double)memory.PagefileUsage, memory.PagefileUsage != 0,
                                "PagefileUsage (PrivateUsage gives 0)"};
    }
    return figures;
}
