// The journal file's state in this process, which the machine's reset forgets.
#pragma once

namespace win::journal::detail
{

// The next use of the journal reads its file afresh (cutting a torn tail, setting damage aside).
void ForgetJournalFile();

} // namespace win::journal::detail
