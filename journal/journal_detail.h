// What the journal's parts share among themselves.
#pragma once

#include <cstdint>

namespace journal::detail
{

// While one exists, every change recorded names `id` as the change it undoes.
class UndoScope
{
public:
    explicit UndoScope(std::uint64_t id);
    ~UndoScope();
    UndoScope(const UndoScope &) = delete;
    UndoScope &operator=(const UndoScope &) = delete;

private:
    std::uint64_t previous_;
};

// The next use of the journal reads its file afresh (cutting a torn tail, setting damage aside),
// as a new process would: the machine in use was forgotten.
void ForgetJournalFile();

} // namespace journal::detail
