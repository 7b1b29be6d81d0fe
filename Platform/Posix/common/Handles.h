// The one process-wide table of every handle the layer hands out (files, registry keys, the
// manager and its services, data-file modules; event logs next). A handle is a small non-zero
// multiple of 4; each entry points at an object that starts with a HandleObject header.
//
// Objects are reference counted: HandleAcquire takes a reference that the caller gives back
// with HandleObjectRelease, so a handle closed by one thread while another still works on it
// stays valid until that work ends.
#pragma once

#include "Platform/Posix/common/LayerInternal.h"

#include "Platform/Posix/common/Win32Types.h"

enum class HandleKind : unsigned {
    File = 1,
    RegistryKey,
    Service,
    ServiceManager,
    EventLog,
    Module,
    PdhQuery,
    PdhCounter,
};

struct HandleObject {
    HandleKind kind;
    unsigned references; // guarded by the table's lock
    void (*destroy)(HandleObject* object);
};

// Sets up the header of a new object; the creator holds the one reference.
void HandleObjectInit(HandleObject* object, HandleKind kind, void (*destroy)(HandleObject*));

// Gives back one reference; the last one destroys the object.
void HandleObjectRelease(HandleObject* object);

// Enters the object in the table, which takes over the creator's reference. Returns nullptr with
// ERROR_NOT_ENOUGH_MEMORY or ERROR_TOO_MANY_OPEN_FILES set, after releasing the object.
HANDLE HandleInsert(HandleObject* object);

// The object behind handle if it is open and of this kind, with a reference taken; otherwise
// nullptr with ERROR_INVALID_HANDLE set.
HandleObject* HandleAcquire(HANDLE handle, HandleKind kind);

// Frees the slot and gives back the table's reference. FALSE with ERROR_INVALID_HANDLE for a
// closed, foreign or bogus handle.
BOOL HandleClose(HANDLE handle, HandleKind kind);

// As HandleClose, for any kind that CloseHandle closes on Windows (kernel objects).
BOOL HandleCloseKernelObject(HANDLE handle);

// Whether handle is open and of this kind; the last error stays as it was.
bool HandleIsOpen(HANDLE handle, HandleKind kind);

// How many handles are open, of every kind: what a test reads to say that nothing was left open.
size_t HandleOpenCount();

// Typed helpers for areas whose object type T starts with a HandleObject named `header`.
template <typename T> T* HandleAcquireAs(HANDLE handle, HandleKind kind) {
    HandleObject* object = HandleAcquire(handle, kind);
    return object == nullptr ? nullptr : reinterpret_cast<T*>(object);
}
