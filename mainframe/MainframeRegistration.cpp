#include "mainframe/MainframeRegistration.h"

#include "app/App.h"

void RegisterMainframe(CApp& /*app*/) {}
