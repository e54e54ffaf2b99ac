// A growable byte string for the command subsystem.
//
// The program avoids the C++ library's containers so that the release exe
// carries none of its exception machinery; this buffer is all it needs.
#ifndef TASTOMAT_BYTE_BUFFER_H
#define TASTOMAT_BYTE_BUFFER_H

#include <stddef.h>

struct ByteBuffer {
    char* data;
    size_t size;
    size_t capacity;
    // Set once an allocation failed; the contents are then incomplete.
    bool allocationFailed;
};

// An empty buffer that owns no memory yet.
ByteBuffer MakeByteBuffer();

// Appends bytes; on a failed allocation keeps what it had and marks the buffer.
void AppendBytes(ByteBuffer& buffer, const char* bytes, size_t count);
void AppendText(ByteBuffer& buffer, const char* text);

// Adds a NUL behind the contents (not counted in size) so that data can be
// handed to the platform as a C string. Returns false if that failed.
bool TerminateWithNul(ByteBuffer& buffer);

void FreeByteBuffer(ByteBuffer& buffer);

#endif
