#pragma once
// Gives every instance a process-unique number: 1 for the first, then 2, ...
// Numbers are never reused; the dispatcher recognises its workers by them.
#include <cstdint>

class CCustomInstanceID {
public:
    CCustomInstanceID();
    virtual ~CCustomInstanceID() = default;
    CCustomInstanceID(const CCustomInstanceID&) = delete;
    CCustomInstanceID& operator=(const CCustomInstanceID&) = delete;

    int32_t Id() const { return id_; }

private:
    const int32_t id_;
};
