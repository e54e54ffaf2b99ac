// What the exe would otherwise take from a C runtime: its entry point, heap
// memory and the few memory and string functions that the code and the
// compiler call. Linked into the shipped exe only, which so needs no DLL but
// Windows' own (Windows 95 does not always have msvcrt.dll); the tests link
// the same code against the standard library instead.
//
// The build compiles this file so that the compiler does not turn these
// loops back into calls of the functions they define.
#include <windows.h>

#include <stdlib.h>
#include <string.h>

#ifdef _MSC_VER
// Defined here, so not expanded as intrinsics.
#pragma function(memcpy, memset, strlen)
#endif

// The C library's headers give these parameters names of their own.
// NOLINTBEGIN(readability-inconsistent-declaration-parameter-name)
extern "C" {

void* memcpy(void* destination, const void* source, size_t count) {
    unsigned char* to = (unsigned char*)destination;
    const unsigned char* from = (const unsigned char*)source;
    while (count-- != 0) *to++ = *from++;
    return destination;
}

void* memset(void* destination, int value, size_t count) {
    unsigned char* to = (unsigned char*)destination;
    while (count-- != 0) *to++ = (unsigned char)value;
    return destination;
}

void* memchr(const void* bytes, int value, size_t count) {
    const unsigned char* at = (const unsigned char*)bytes;
    for (; count != 0; ++at, --count) {
        if (*at == (unsigned char)value) return (void*)at;
    }
    return NULL;
}

size_t strlen(const char* text) {
    const char* end = text;
    while (*end != '\0') ++end;
    return (size_t)(end - text);
}

// The process heap serves the program's few, short-lived blocks; every
// Windows has it, and it needs no set-up.
void* realloc(void* block, size_t size) {
    if (block == NULL) return HeapAlloc(GetProcessHeap(), 0, size);
    return HeapReAlloc(GetProcessHeap(), 0, block, size);
}

void free(void* block) {
    if (block != NULL) HeapFree(GetProcessHeap(), 0, block);
}

// The first instruction of the program: nothing runs before it, as there are
// no constructors or thread-local callbacks to run. WinMain gets what a C
// runtime would give it, and its result is the exit code.
void TastomatStartup() {
    // The command line behind the program's name, as WinMain expects it.
    const char* arguments = GetCommandLineA();
    bool quoted = false;
    while (*arguments != '\0' && (quoted || (*arguments != ' ' && *arguments != '\t'))) {
        if (*arguments == '"') quoted = !quoted;
        ++arguments;
    }
    while (*arguments == ' ' || *arguments == '\t') ++arguments;
    ExitProcess((UINT)WinMain(GetModuleHandleA(NULL), NULL, (LPSTR)arguments, SW_SHOWDEFAULT));
}

}  // extern "C"
// NOLINTEND(readability-inconsistent-declaration-parameter-name)
