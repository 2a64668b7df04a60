#include "app/Initable.h"

Initable::~Initable() = default;
