// VEXLOR_EXPORT marks the declarations that the shared library exports.
//
// The library is compiled with hidden visibility, so only the public API
// (the control, the member table, the module, variants and text
// conversion) is visible to programs that link libvexlor.so; everything
// else stays internal and free to change. Static libraries and Windows
// builds, where the COM server is the only DLL, need no marks.
//
// Nothing to own, no errors, no threads: a macro only.
#ifndef VEXLOR_EXPORT_H_
#define VEXLOR_EXPORT_H_

#if defined(_WIN32)
#define VEXLOR_EXPORT
#else
#define VEXLOR_EXPORT __attribute__((visibility("default")))
#endif

#endif  // VEXLOR_EXPORT_H_
