// The start-up of the Visual C++-ABI test programs (VcRuntime.cpp).
#ifndef QUORVAN_VC_RUNTIME_H
#define QUORVAN_VC_RUNTIME_H

// Runs the constructors of the module's static objects, in link order.
void QvRunStaticInitializers();

#endif
