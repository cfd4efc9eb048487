// What undoing needs from the journaled write functions.
#pragma once

#include <cstdint>
#include <string>

namespace win::journal::detail
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

// Forgets the journal of the machine in use and the paths of open key handles, with the machine
// (ResetMachine): the next change reads the journal afresh, as a new process would.
void Forget();

// Removes a file, recording it as a file change.
bool RemoveFileRecorded(const std::string &windowsPath);

} // namespace win::journal::detail
