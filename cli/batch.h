// Working on several inputs at once while reporting on them one by one.
#pragma once

#include <functional>

// Calls work(i) for i in 0..count - 1, up to `jobs` at a time (each render
// inside still shares out its own work), and report(i) for each in input order,
// on one thread at a time, as soon as work(i) and every earlier report are done. What work(i) has to say
// goes through report(i), so messages come out whole and in input order.
void RunInInputOrder(int count, int jobs, const std::function<void(int)>& work, const std::function<void(int)>& report);
