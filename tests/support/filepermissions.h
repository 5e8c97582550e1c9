#pragma once

// Makes file permissions bind the calling thread even when the tests run as root, so that a
// read-only folder refuses writing as it does for an operator's account. The kernel lets root past
// file permissions through the capabilities CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH and CAP_FOWNER
// in the effective set of the thread making the call (fs/namei.c, generic_permission); this takes
// them out of that set for the calling thread only and puts them back at the end (they stay
// permitted). A process that does not hold them is not changed.
class ScopedFilePermissionsBind {
public:
    ScopedFilePermissionsBind();
    ~ScopedFilePermissionsBind();
    ScopedFilePermissionsBind(const ScopedFilePermissionsBind&) = delete;
    ScopedFilePermissionsBind& operator=(const ScopedFilePermissionsBind&) = delete;

private:
    unsigned effective_ = 0;  // the low capability word as it was
    bool changed_ = false;
};
