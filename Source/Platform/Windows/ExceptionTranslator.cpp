#include "Platform/ExceptionTranslator.h"

#include <windows.h>

#include <cstdio>
#include <mutex>
#include <stdexcept>

// mingw has no _set_se_translator, and a C++ exception thrown out of an exception handler would
// have to unwind through the system's exception dispatcher. Instead the handler changes the
// faulting thread's context so that it resumes in a trampoline as if the faulting instruction had
// called it, and the trampoline throws an ordinary C++ exception from there: the unwinder then
// walks from the faulting function outwards as from any call. That needs exception tables that
// cover faulting instructions, which -fnon-call-exceptions gives the whole Windows build.
//
// The handler is the process's unhandled-exception filter, so that code which handles its own
// faults (structured handlers in system libraries) keeps doing so; it only acts on threads that
// installed the translator, and hands everything else to the filter it replaced.

extern "C"
{
    [[noreturn]] void norvia_ThrowProcessorException(DWORD code, DWORD64 address);
    void norvia_ProcessorExceptionTrampoline();
}

// Entered with the faulting instruction's address + 1 as its return address, the exception code
// in rcx and the faulting address in rdx, on a stack of any alignment. The frame pointer tells
// the unwinder where that return address is, whatever the realignment did.
asm(R"(
    .text
    .globl norvia_ProcessorExceptionTrampoline
    .def norvia_ProcessorExceptionTrampoline; .scl 2; .type 32; .endef
    .seh_proc norvia_ProcessorExceptionTrampoline
norvia_ProcessorExceptionTrampoline:
    pushq %rbp
    .seh_pushreg %rbp
    movq %rsp, %rbp
    .seh_setframe %rbp, 0
    .seh_endprologue
    andq $-16, %rsp
    subq $32, %rsp
    call norvia_ThrowProcessorException
    int3
    .seh_endproc
)");

void norvia_ThrowProcessorException(DWORD code, DWORD64 address)
{
    char text[1024];
    std::snprintf(text, sizeof text, Platform::kProcessorExceptionFormat, static_cast<unsigned>(code),
                  static_cast<unsigned>(address & 0xFFFFFFFF));
    throw std::runtime_error(text);
}

namespace Platform
{

namespace
{

// The translator's only state: the thread-local slot that marks a thread as translating, and the
// filter it replaced. Both are set once, under the once-flag.
DWORD translatingSlot = TLS_OUT_OF_INDEXES;
LPTOP_LEVEL_EXCEPTION_FILTER previousFilter = nullptr;
std::once_flag installed;

// Faults of the processor that the faulting code can be resumed from; a stack overflow leaves no
// stack to throw on.
bool IsProcessorFault(DWORD code)
{
    switch (code)
    {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_IN_PAGE_ERROR:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_PRIV_INSTRUCTION:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_INT_OVERFLOW:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
    case EXCEPTION_FLT_DENORMAL_OPERAND:
    case EXCEPTION_FLT_DIVIDE_BY_ZERO:
    case EXCEPTION_FLT_INEXACT_RESULT:
    case EXCEPTION_FLT_INVALID_OPERATION:
    case EXCEPTION_FLT_OVERFLOW:
    case EXCEPTION_FLT_STACK_CHECK:
    case EXCEPTION_FLT_UNDERFLOW:
        return true;
    default:
        return false;
    }
}

LONG WINAPI TranslateStructuredException(EXCEPTION_POINTERS* information)
{
    const EXCEPTION_RECORD* record = information->ExceptionRecord;
    const bool translating = ::TlsGetValue(translatingSlot) != nullptr;
    if (!translating || !IsProcessorFault(record->ExceptionCode) ||
        (record->ExceptionFlags & EXCEPTION_NONCONTINUABLE) != 0)
        return previousFilter ? previousFilter(information) : EXCEPTION_CONTINUE_SEARCH;

    CONTEXT* context = information->ContextRecord;
    context->Rsp -= sizeof(DWORD64);
    // + 1: the unwinder looks up the instruction before a return address, which is then the
    // faulting one itself.
    *reinterpret_cast<DWORD64*>(context->Rsp) = context->Rip + 1;
    context->Rcx = record->ExceptionCode;
    context->Rdx = reinterpret_cast<DWORD64>(record->ExceptionAddress);
    context->Rip = reinterpret_cast<DWORD64>(&norvia_ProcessorExceptionTrampoline);
    return EXCEPTION_CONTINUE_EXECUTION;
}

} // namespace

void InstallExceptionTranslator()
{
    std::call_once(installed,
                   []
                   {
                       translatingSlot = ::TlsAlloc();
                       if (translatingSlot != TLS_OUT_OF_INDEXES)
                           previousFilter = ::SetUnhandledExceptionFilter(&TranslateStructuredException);
                   });
    if (translatingSlot != TLS_OUT_OF_INDEXES)
        ::TlsSetValue(translatingSlot, reinterpret_cast<void*>(1));
}

} // namespace Platform
