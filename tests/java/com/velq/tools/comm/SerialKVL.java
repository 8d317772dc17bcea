package com.velq.tools.comm;

/** The host class whose natives serialKVL implements. */
public class SerialKVL {
    static {
        System.loadLibrary("serialKVL");
    }

    public static native int EnvRS(int port, byte[] frame, int length);
    public static native int RecRS(int port, byte[] frame, int[] length);
    public static native int FermRS(int port);
    public static native String DonneNomPortRS(int port);
    public static native int InitRS_KVLv1(int baud, String portName, int[] port);
    public static native int InitRS_KVLv2(String portName, int[] port);
    public static native int InitRS_LOG2A0(String portName, int[] port);
    public static native int InitRS_ZT2(String portName, int[] port);
    public static native String[] EnumPortRS();
    public static native String ExpliciteLastError(int code);
}
