#include "motion/animation_writer.h"
