// One tick of the worker thread, callable on its own.
//
// 1. WorkerThreadProc runs this after every kTickMs sleep; tests and the benchmark
//    call it directly to step the worker one tick at a time, while no worker runs.
// 2. A tick first makes a save its session asked for that nobody could make then (an
//    ended session's save was still in the host); then it does at most one of: confirm
//    or repeat a pending switch; in periodic mode, advance when the schedule is due; in
//    theme sync mode, count the debounce.
#ifndef VARNEL_WORKER_H
#define VARNEL_WORKER_H

void WorkerTick();

#endif
