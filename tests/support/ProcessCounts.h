// What a process holds: threads, and handles (Windows) or descriptors (Linux).
#pragma once

int ThreadCount();
// Open descriptors or handles. Wine reports every process's handle count as 0,
// so tests that run there count threads instead.
int HandleCount();
