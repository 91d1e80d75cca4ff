// The busy pointer for one scope: shown by the constructor, taken back by the destructor.
#pragma once

class CBusyCursor
{
public:
    CBusyCursor();
    ~CBusyCursor();
    CBusyCursor(const CBusyCursor&) = delete;
    CBusyCursor& operator=(const CBusyCursor&) = delete;
};
