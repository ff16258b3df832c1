// Umbrella header of libvesk: typed cross-thread signals (namespace VESK)
// and the synchronisation primitives under them (namespace TOLB).
#pragma once

#include "tolb/atomic_counter.h"
#include "tolb/gate.h"
#include "tolb/mutex.h"
#include "tolb/read_write_lock.h"
#include "vesk/connect.h"
#include "vesk/connection.h"
#include "vesk/emitter.h"
#include "vesk/event_loop_thread.h"
#include "vesk/modes.h"
#include "vesk/payload.h"
#include "vesk/thread.h"
