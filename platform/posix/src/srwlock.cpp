// The slim reader/writer lock over a mutex of the system's threads.
#include <windows.h>

#include <stdlib.h>

// A default mutex, locked and unlocked by its owner, has no error to report
// (Windows' calls have none either): a failure here is a broken lock, and
// going on without it would let two calls share what only one may use.
extern "C" void WINAPI AcquireSRWLockExclusive(PSRWLOCK SRWLock)
{
    if (pthread_mutex_lock(&SRWLock->mutex) != 0)
        abort();
}

extern "C" void WINAPI ReleaseSRWLockExclusive(PSRWLOCK SRWLock)
{
    if (pthread_mutex_unlock(&SRWLock->mutex) != 0)
        abort();
}
