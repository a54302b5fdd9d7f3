#include "met/thermo.hpp"
