// A growable byte string for the command subsystem.
#include "byte_buffer.h"

#include <stdlib.h>
#include <string.h>

ByteBuffer MakeByteBuffer() {
    ByteBuffer buffer = {NULL, 0, 0, false};
    return buffer;
}

// Makes room for `extra` more bytes plus a NUL, doubling to keep appends cheap.
static bool Reserve(ByteBuffer& buffer, size_t extra) {
    if (buffer.allocationFailed) return false;
    if (extra > (size_t)-1 - buffer.size - 1) {
        buffer.allocationFailed = true;
        return false;
    }
    size_t needed = buffer.size + extra + 1;
    if (needed <= buffer.capacity) return true;
    size_t capacity = buffer.capacity < 64 ? 64 : buffer.capacity;
    while (capacity < needed) {
        capacity = capacity > (size_t)-1 / 2 ? needed : capacity * 2;
    }
    char* grown = (char*)realloc(buffer.data, capacity);
    if (grown == NULL) {
        buffer.allocationFailed = true;
        return false;
    }
    buffer.data = grown;
    buffer.capacity = capacity;
    return true;
}

void AppendBytes(ByteBuffer& buffer, const char* bytes, size_t count) {
    if (count == 0 || !Reserve(buffer, count)) return;
    memcpy(buffer.data + buffer.size, bytes, count);
    buffer.size += count;
}

void AppendText(ByteBuffer& buffer, const char* text) { AppendBytes(buffer, text, strlen(text)); }

bool TerminateWithNul(ByteBuffer& buffer) {
    if (!Reserve(buffer, 0)) return false;
    buffer.data[buffer.size] = '\0';
    return true;
}

void FreeByteBuffer(ByteBuffer& buffer) {
    free(buffer.data);
    buffer = MakeByteBuffer();
}
