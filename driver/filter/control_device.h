#pragma once
// The control device `\Device\Kalvex`: it exists while at least one filter
// device is started. The first start creates it, the last remove deletes it.
#include "kernel/device_object.h"

struct FilterDriver;

// Counts a started filter device; the first count creates the control device
// and its symbolic link. A failed creation leaves the driver without one
// until the count has dropped back to 0. Passive level.
void takeControlReference(FilterDriver& filter, kernel::DeviceObject* startingDevice);
// Uncounts a filter device that took a reference; the last one deletes the
// control device and its link. Passive level.
void dropControlReference(FilterDriver& filter);
