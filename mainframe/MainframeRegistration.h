#pragma once
// Temporary: the registration the executable calls (the main frame's own lands
// with it).
class CApp;
inline void RegisterMainframe(CApp&) {}
