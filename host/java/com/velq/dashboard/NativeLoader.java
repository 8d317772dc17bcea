package com.velq.dashboard;

import java.io.IOException;
import java.io.InputStream;
import java.nio.file.FileSystems;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.StandardCopyOption;
import java.nio.file.attribute.PosixFilePermissions;
import java.util.HashMap;
import java.util.Locale;
import java.util.Map;
import java.util.Optional;

/**
 * Loads the native libraries of the jar's classes: {@code velqhost} for
 * {@link HostChannel} and {@code serialKVL} for
 * {@code com.velq.tools.comm.SerialKVL}. Those classes call it themselves;
 * a host never needs to.
 *
 * <p>A library installed on the machine comes first:
 * {@code System.loadLibrary(name)} looks on {@code java.library.path}
 * (the system's library folders unless the host sets it), so a packaged
 * library, or one the host points at, is the one used. When there is none,
 * the copy the jar carries for the running system and processor,
 * {@code natives/<os>-<arch>/<library file>} (for example
 * {@code natives/linux-x86_64/libvelqhost.so}), is extracted into a
 * temporary folder that only the current user can read, removed when the
 * JVM exits, and loaded from there. A folder mounted without execute rights
 * cannot hold libraries; {@code -Djava.io.tmpdir} then chooses another.
 *
 * <p>When neither works, the {@link UnsatisfiedLinkError} names both
 * attempts and carries their failures as suppressed exceptions.
 */
public final class NativeLoader {
    // Library name to the extracted file it was loaded from, or to null
    // when System.loadLibrary found it. A library is loaded once per JVM:
    // loading a second copy would bind nothing new.
    private static final Map<String, Path> LOADED = new HashMap<>();
    // One folder for every library extracted by this JVM.
    private static Path directory;

    private NativeLoader() {
    }

    /**
     * Loads the library {@code name} (as {@code System.loadLibrary} names
     * it: "velqhost" for libvelqhost.so or velqhost.dll) once; later calls
     * return at once.
     *
     * @param name the library's name without prefix or suffix
     * @throws UnsatisfiedLinkError neither {@code java.library.path} nor the
     *         jar provides a library that loads on this system
     */
    public static synchronized void load(String name) {
        if (LOADED.containsKey(name)) return;
        UnsatisfiedLinkError fromPath;
        try {
            System.loadLibrary(name);
            LOADED.put(name, null);
            return;
        } catch (UnsatisfiedLinkError e) {
            fromPath = e;
        }
        String resource = resourceName(name);
        Throwable fromJar = null;
        try (InputStream in = NativeLoader.class.getResourceAsStream(resource)) {
            if (in != null) {
                Path file = extract(in, System.mapLibraryName(name));
                System.load(file.toString());
                LOADED.put(name, file);
                return;
            }
        } catch (IOException | UnsatisfiedLinkError | SecurityException e) {
            fromJar = e;
        }
        UnsatisfiedLinkError error = new UnsatisfiedLinkError("Cannot load the native library " + name
                + ": System.loadLibrary found none that loads on java.library.path ("
                + System.getProperty("java.library.path") + "), and the jar's copy " + resource
                + (fromJar == null ? " does not exist (no natives for " + platform() + " in this jar)"
                                   : " could not be loaded: " + fromJar));
        error.addSuppressed(fromPath);
        if (fromJar != null) error.addSuppressed(fromJar);
        throw error;
    }

    /**
     * The file the library {@code name} was loaded from when it came out
     * of the jar.
     *
     * @param name the library's name, as given to {@link #load(String)}
     * @return the extracted file; empty when the library is not loaded or
     *         {@code System.loadLibrary} found it
     */
    public static synchronized Optional<Path> extractedPath(String name) {
        return Optional.ofNullable(LOADED.get(name));
    }

    /**
     * The jar's folder name for the running system and processor, as in
     * {@code natives/<platform>/}: "linux-x86_64", "windows-x86",
     * "linux-aarch64".
     *
     * @return the system and the processor, joined by a hyphen
     */
    public static String platform() {
        String os = System.getProperty("os.name", "").toLowerCase(Locale.ROOT);
        if (os.startsWith("linux")) os = "linux";
        else if (os.startsWith("windows")) os = "windows";
        else if (os.startsWith("mac")) os = "macos";
        else os = os.replaceAll("[^a-z0-9]", "");
        String arch = System.getProperty("os.arch", "").toLowerCase(Locale.ROOT);
        switch (arch) {
            case "amd64":
            case "x86_64":
                arch = "x86_64";
                break;
            case "x86":
            case "i386":
            case "i486":
            case "i586":
            case "i686":
                arch = "x86";
                break;
            case "arm64":
            case "aarch64":
                arch = "aarch64";
                break;
            default:
                break;
        }
        return os + "-" + arch;
    }

    private static String resourceName(String name) {
        return "/natives/" + platform() + "/" + System.mapLibraryName(name);
    }

    private static Path extract(InputStream in, String fileName) throws IOException {
        if (directory == null) {
            // Owner-only where the file system has POSIX permissions, so no
            // other user can swap the library between writing and loading
            // it; elsewhere (Windows) the temporary folder is the user's own.
            if (FileSystems.getDefault().supportedFileAttributeViews().contains("posix")) {
                directory = Files.createTempDirectory("velq-natives-",
                        PosixFilePermissions.asFileAttribute(PosixFilePermissions.fromString("rwx------")));
            } else {
                directory = Files.createTempDirectory("velq-natives-");
            }
            // Removed in the reverse order of registration: the files
            // registered later go first, then the folder.
            directory.toFile().deleteOnExit();
        }
        Path file = directory.resolve(fileName);
        // Replaced when an earlier attempt of this JVM left it there.
        Files.copy(in, file, StandardCopyOption.REPLACE_EXISTING);
        file.toFile().deleteOnExit();
        return file;
    }
}
