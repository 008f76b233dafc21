#pragma once
// Raises the soft limit of open files to the hard limit: every queued task
// holds its input and output open, so a batch of thousands of files needs it.
void RaiseOpenFileLimit();
