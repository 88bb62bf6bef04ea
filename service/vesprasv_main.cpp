// vesprasv.exe, a console program that Windows runs as the service "Vespra".
#include "service/service_host.h"

int main() {
    return ServiceProgramMain();
}
