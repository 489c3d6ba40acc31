// A library that looks like a server but cannot serve: it has no
// DllGetClassObject, no DllUnregisterServer, and refuses to register.
#include <velmora/com.h>

STDAPI DllRegisterServer() {
    return E_ACCESSDENIED;
}
