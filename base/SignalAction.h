#pragma once
// Setting what a signal does, for both front ends' stop and termination
// handling: one place that fills the sigaction record.

// Makes `handler` (or SIG_IGN, SIG_DFL) the action of `signal`, with `flags`
// (SA_RESTART, SA_RESETHAND, …) and no signals blocked while it runs.
void SetSignalAction(int signal, void (*handler)(int), int flags);
