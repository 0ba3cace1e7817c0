// What a process holds: threads, and handles (Windows) or descriptors (Linux).
#pragma once

int ThreadCount();
int HandleCount();
