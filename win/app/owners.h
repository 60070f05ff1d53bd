// Small owners for what the platform hands out: each closes its handle, or unlocks its
// block, on every path out of the scope that holds it.
#pragma once

#include <windows.h>

// An open registry key. `Receive` hands the place for RegOpenKeyExA or RegCreateKeyExA to
// fill, closing any key held before.
class RegistryKey {
  public:
    RegistryKey() = default;
    ~RegistryKey() { Close(); }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    HKEY* Receive() {
        Close();
        return &key_;
    }
    HKEY get() const { return key_; }
    void Close() {
        if (key_ != nullptr) {
            RegCloseKey(key_);
            key_ = nullptr;
        }
    }

  private:
    HKEY key_ = nullptr;
};

// An open file. `Close` closes it early and tells whether closing succeeded, which matters
// after a write.
class FileHandle {
  public:
    explicit FileHandle(HANDLE file) : file_(file) {}
    ~FileHandle() { Close(); }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    HANDLE get() const { return file_; }
    bool IsOpen() const { return file_ != INVALID_HANDLE_VALUE; }
    bool Close() {
        if (!IsOpen()) {
            return true;
        }
        const BOOL closed = CloseHandle(file_);
        file_ = INVALID_HANDLE_VALUE;
        return closed != FALSE;
    }

  private:
    HANDLE file_;
};

// A movable global block, locked for as long as the owner lives. Null when the handle is
// null or the lock failed.
template <class T> class LockedBlock {
  public:
    explicit LockedBlock(HGLOBAL block)
        : block_(block), data_(block ? static_cast<T*>(GlobalLock(block)) : nullptr) {}
    ~LockedBlock() {
        if (data_ != nullptr) {
            GlobalUnlock(block_);
        }
    }
    LockedBlock(const LockedBlock&) = delete;
    LockedBlock& operator=(const LockedBlock&) = delete;

    T* get() const { return data_; }

  private:
    HGLOBAL block_;
    T* data_;
};

// A pen, brush, palette or other GDI object, deleted when the owner goes.
template <class Handle> class GdiObject {
  public:
    explicit GdiObject(Handle object) : object_(object) {}
    ~GdiObject() {
        if (object_ != nullptr) {
            DeleteObject(object_);
        }
    }
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;

    Handle get() const { return object_; }

  private:
    Handle object_;
};

// A COM interface pointer, released when the owner goes. `Receive` hands the place for a
// creating call to fill.
template <class T> class ComObject {
  public:
    ComObject() = default;
    ~ComObject() { Release(); }
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    T** Receive() {
        Release();
        return &object_;
    }
    T* get() const { return object_; }
    T* operator->() const { return object_; }

  private:
    void Release() {
        if (object_ != nullptr) {
            object_->Release();
            object_ = nullptr;
        }
    }
    T* object_ = nullptr;
};
