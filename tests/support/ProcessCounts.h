// What a process holds: threads, and handles (Windows) or descriptors (Linux).
#pragma once

int ThreadCount();
// Open descriptors; Linux only (Wine reports every process's handle count as 0).
int HandleCount();
