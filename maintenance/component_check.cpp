#include "maintenance/component_check.h"

// Pending: the component check arrives with the maintenance change; until then it passes.
int CheckComponents() { return 1; }
