// A keycode file reaching up into the store: the layering check must refuse it.
#include "store/PadStore.h"
