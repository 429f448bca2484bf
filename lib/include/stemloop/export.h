/* Marks the public interface. The library is built with hidden symbols, so only the
   declarations between STEMLOOP_API_BEGIN and STEMLOOP_API_END (the public headers)
   are exported from the shared library; the engine's internals are not. */
#ifndef STEMLOOP_EXPORT_H
#define STEMLOOP_EXPORT_H

#if defined(__GNUC__) || defined(__clang__)
#define STEMLOOP_API_BEGIN _Pragma("GCC visibility push(default)")
#define STEMLOOP_API_END _Pragma("GCC visibility pop")
#else
#define STEMLOOP_API_BEGIN
#define STEMLOOP_API_END
#endif

#endif /* STEMLOOP_EXPORT_H */
