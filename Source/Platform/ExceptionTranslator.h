#pragma once
// Processor exceptions (access violations, division by zero, ...) as C++ exceptions.

namespace Platform
{

// The text a translated exception carries; %x are the exception code and the lower 32 bits of
// the faulting instruction's address.
constexpr const char* kProcessorExceptionFormat = "Win32 Exception occurred. Code: 0x%x at address 0x%x";

// From this call on, a processor exception raised on the calling thread is thrown as a
// std::runtime_error with the text above from the faulting instruction, so that the worker's own
// catch records it and the process lives on. Per thread; calling it again does nothing. On Linux
// it does nothing: there a fault ends the process as before.
void InstallExceptionTranslator();

} // namespace Platform
