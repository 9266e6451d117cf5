// Catching MFC42.DLL's Visual C++ exceptions in this compiler's code.
//
// Visual C++ raises a C++ exception as the structured exception 0xE06D7363,
// whose parameters are a magic number, the address of the thrown object and
// the throw record of its type. Run puts a handler of its own on the
// thread's chain of exception registrations (FS:[0]) for the length of the
// call. When such an exception reaches it, the handler keeps the thrown
// object (a pointer, for the framework's exceptions), lets the system unwind
// every frame above its own (MFC42's frames destroy what they hold), and
// jumps back into Run, which takes its registration off the chain and
// reports what was raised. Any other exception passes on untouched.
#include <afx.h>

namespace {

const DWORD kVisualCppException = 0xE06D7363;
const ULONG_PTR kVisualCppMagic = 0x19930520;
const DWORD kUnwinding = EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND;

// An entry of the thread's registration chain, with what the handler needs.
struct Registration {
    Registration* next;
    void* handler;
    void* resume[5];  // __builtin_setjmp's buffer
    afxcall::Raised* raised;
};

Registration* ChainHead()
{
    Registration* head;
    asm volatile("movl %%fs:0, %0" : "=r"(head));
    return head;
}

void SetChainHead(Registration* head)
{
    asm volatile("movl %0, %%fs:0" : : "r"(head) : "memory");
}

extern "C" EXCEPTION_DISPOSITION __cdecl CatchVisualCpp(EXCEPTION_RECORD* record, void* frame, CONTEXT*, void*)
{
    if ((record->ExceptionFlags & kUnwinding) || record->ExceptionCode != kVisualCppException ||
        record->NumberParameters < 3 || record->ExceptionInformation[0] != kVisualCppMagic)
        return ExceptionContinueSearch;
    // Held in memory: the system's unwinding need not keep our registers.
    Registration* volatile registration = static_cast<Registration*>(frame);
    registration->raised->object = *reinterpret_cast<void**>(record->ExceptionInformation[1]);
    registration->raised->throwInfo = reinterpret_cast<const void*>(record->ExceptionInformation[2]);
    RtlUnwind(frame, nullptr, record, nullptr);
    __builtin_longjmp(registration->resume, 1);
}

}  // namespace

namespace afxcall {

__attribute__((noinline)) bool Run(void (*call)(void*), void* context, Raised* raised)
{
    Registration registration;
    registration.handler = reinterpret_cast<void*>(&CatchVisualCpp);
    registration.raised = raised;
    registration.next = ChainHead();
    if (__builtin_setjmp(registration.resume)) {
        // Back from the handler: the frames above were unwound, and the chain
        // ends in this registration again.
        SetChainHead(registration.next);
        return false;
    }
    SetChainHead(&registration);
    call(context);
    SetChainHead(registration.next);
    return true;
}

void ThrowOn(const Raised& raised)
{
    // The framework raises only its out-of-memory exception from the members
    // used here; its object is MFC42's own and stays where it is.
    throw static_cast<CMemoryException*>(raised.object);
}

}  // namespace afxcall
