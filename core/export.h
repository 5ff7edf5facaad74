// Symbol visibility for the deliverables.
//
// Everything is built with -fvisibility=hidden; the few functions and classes
// that each deliverable documents as exported carry VANTOR_EXPORT.
#ifndef CORE_EXPORT_H_
#define CORE_EXPORT_H_

#define VANTOR_EXPORT __attribute__((visibility("default")))

#endif  // CORE_EXPORT_H_
