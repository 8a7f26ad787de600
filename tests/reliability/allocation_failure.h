// Allocation failures on demand. This test program's operator new fails the n-th
// allocation made outside the host (the plug-in's own code, on any thread) after
// ArmAllocationFailure(n), once.
#ifndef VARNEL_TEST_ALLOCATION_FAILURE_H
#define VARNEL_TEST_ALLOCATION_FAILURE_H

void ArmAllocationFailure(long n);
// Disarms; true when the armed failure happened.
bool DisarmAllocationFailure();

#endif
