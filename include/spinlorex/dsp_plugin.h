/*
 * Spinlorex DSP plug-ins: the interface between the desk and an effect library.
 *
 * A plug-in is a shared object named dsp_<something>.so. It exports one function, under
 * the name SPINLOREX_DSP_HEADER_FUNCTION (looked up first) or
 * SPINLOREX_DSP_HEADER_FUNCTION_OLD, that returns its header record. The header gives a
 * description of the file and, by index, the effect modules it holds (numbered from 0
 * with no gaps; the getter returns null past the last one). Every record belongs to the
 * plug-in and must stay valid while the library is loaded.
 *
 * The host gives each deck its own private copy of the file, so the static data of one
 * loaded copy serves one deck: a module may keep its state in static variables or behind
 * `userData`. Per deck and module the host calls, in this order:
 *
 *   init          once, on the program's main thread, after it has filled in
 *                 parentWindow and instance; its result is not used;
 *   modifySamples on the sound thread, once per rendered chunk (about 3088 frames);
 *   config        on the main thread when the user asks for the module's settings, at
 *                 any time between init and quit, possibly while modifySamples runs on
 *                 the sound thread (share settings through atomics, never locks);
 *   quit          once, on the main thread; modifySamples is never called after it. The
 *                 library is unloaded right after.
 *
 * modifySamples gets interleaved signed 16-bit samples (left first), always 16 bits, 2
 * channels, 44100 Hz in Spinlorex, and processes them in place. It returns how many
 * frames the buffer now holds: usually `frames`; at most twice `frames`, since the buffer
 * has room for twice the frames given (more is cut to that). It runs on the real-time
 * sound thread: no allocation, no locks, no file or console output, no waiting; allocate
 * what it needs in init and free it in quit.
 *
 * Plug-ins run inside the program with its rights: a faulty one can crash the desk.
 *
 * A minimal plug-in (build: cc -shared -fPIC -o dsp_half.so half.c):
 *
 *     #include <spinlorex/dsp_plugin.h>
 *
 *     static int init(SpinlorexDspModule *m) { (void)m; return 0; }
 *     static void config(SpinlorexDspModule *m) { (void)m; }
 *     static void quit(SpinlorexDspModule *m) { (void)m; }
 *     static int halve(SpinlorexDspModule *m, short *samples, int frames, int bits,
 *                      int channels, int rate) {
 *         int i;
 *         (void)m; (void)bits; (void)rate;
 *         for (i = 0; i < frames * channels; ++i) samples[i] = (short)(samples[i] / 2);
 *         return frames;
 *     }
 *     static SpinlorexDspModule half = {"Half volume", 0, 0, config, init, halve, quit, 0};
 *     static SpinlorexDspModule *getModule(int index) { return index == 0 ? &half : 0; }
 *     static SpinlorexDspHeader header = {SPINLOREX_DSP_VERSION, "Half", getModule};
 *
 *     SPINLOREX_DSP_EXPORT SpinlorexDspHeader *SPINLOREX_DSP_HEADER_SYMBOL(void) {
 *         return &header;
 *     }
 *
 * C++ plug-ins built with GCC: add -fno-gnu-unique, or the library may stay loaded (and
 * keep its state) after the host unloads it.
 */
#ifndef SPINLOREX_DSP_PLUGIN_H
#define SPINLOREX_DSP_PLUGIN_H

#ifdef __cplusplus
extern "C" {
#endif

/* The names of the exported header function, in the order the host looks them up. */
#define SPINLOREX_DSP_HEADER_FUNCTION "winampDSPGetHeader2"
#define SPINLOREX_DSP_HEADER_FUNCTION_OLD "winampDSPGetHeader"
/* The same first name as an identifier, for defining the function. */
#define SPINLOREX_DSP_HEADER_SYMBOL winampDSPGetHeader2

/* Makes the header function visible even when the library hides its other symbols. */
#if defined(__GNUC__)
#define SPINLOREX_DSP_EXPORT __attribute__((visibility("default")))
#else
#define SPINLOREX_DSP_EXPORT
#endif

/* A value for the header's version; the host does not read it. */
#define SPINLOREX_DSP_VERSION 0x20

typedef struct SpinlorexDspModule SpinlorexDspModule;

/* One effect. The host writes parentWindow and instance; everything else is the plug-in's. */
struct SpinlorexDspModule {
    const char* description;
    /* The desk's main window, for a settings window to sit over (a QWidget * in
       Spinlorex); may be null, for instance when rendering from the command line. */
    void* parentWindow;
    /* The host's handle of this loaded copy of the library (from dlopen). */
    void* instance;
    void (*config)(SpinlorexDspModule* module);
    int (*init)(SpinlorexDspModule* module);
    /* Returns the number of frames now in `samples` (0 .. 2 x frames). */
    int (*modifySamples)(SpinlorexDspModule* module, short* samples, int frames, int bitsPerSample,
                         int channels, int sampleRate);
    void (*quit)(SpinlorexDspModule* module);
    /* Free for the plug-in (per-instance state); the host never touches it. */
    void* userData;
};

typedef struct SpinlorexDspHeader {
    int version;
    const char* description;
    /* The module at `index` (0, 1, 2, ...), or null past the last one. */
    SpinlorexDspModule* (*getModule)(int index);
} SpinlorexDspHeader;

/* The type of the exported header function. */
typedef SpinlorexDspHeader* (*SpinlorexDspHeaderFunction)(void);

#ifdef __cplusplus
}
#endif

#endif /* SPINLOREX_DSP_PLUGIN_H */
