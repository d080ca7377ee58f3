// One host thread attached to the VM: its connection, its Java thread and its pending
// exception. Each request is one JNI function of the host; the reply carries its result.
// The operation codes are those of bridge_jvm.h in the DLL.
package jvmbridge;

import java.io.ByteArrayInputStream;
import java.io.ByteArrayOutputStream;
import java.io.DataInputStream;
import java.io.DataOutputStream;
import java.io.IOException;
import java.io.UTFDataFormatException;
import java.lang.management.ManagementFactory;
import java.lang.reflect.Array;
import java.lang.reflect.InvocationTargetException;
import java.lang.reflect.Method;
import java.net.Socket;
import java.nio.charset.StandardCharsets;
import java.util.HashSet;
import java.util.Set;
import javax.management.ObjectName;

final class Session implements Runnable {
    static final byte FIND_CLASS = 1, GET_METHOD_ID = 2, GET_STATIC_METHOD_ID = 3, GET_OBJECT_CLASS = 4,
            CALL = 5, NEW_OBJECT_ARRAY = 6, SET_OBJECT_ARRAY_ELEMENT = 7, NEW_STRING_UTF = 8,
            GET_STRING_UTF_CHARS = 9, NEW_GLOBAL_REF = 10, EXCEPTION_CHECK = 11, EXCEPTION_OCCURRED = 12,
            EXCEPTION_DESCRIBE = 13, EXCEPTION_CLEAR = 14, DUMP_STACKS = 15, DESTROY_VM = 16;
    static final byte OK = 0, FATAL = 1;

    // The attached host threads; DestroyJavaVM waits until its own is the last.
    private static final Set<Session> attached = new HashSet<>();

    private final Socket socket;
    private final DataInputStream in;
    private final DataOutputStream out;
    private final ByteArrayOutputStream reply = new ByteArrayOutputStream();
    private final DataOutputStream result = new DataOutputStream(reply);
    private Throwable pending;

    // A breach of the JNI rules by the host: the DLL ends the host with this text.
    static final class Misuse extends RuntimeException {
        private static final long serialVersionUID = 1L;

        Misuse(String message) {
            super(message);
        }
    }

    Session(Socket socket, DataInputStream in) throws IOException {
        this.socket = socket;
        this.in = in;
        this.out = new DataOutputStream(socket.getOutputStream());
    }

    void start(Thread thread) {
        synchronized (attached) {
            attached.add(this);
        }
        thread.start();
    }

    @Override
    public void run() {
        try {
            while (true) {
                int op = in.read();
                if (op < 0) break;   // DetachCurrentThread closes the connection
                reply.reset();
                result.writeByte(OK);
                try {
                    serve((byte) op);
                } catch (Misuse e) {
                    reply.reset();
                    result.writeByte(FATAL);
                    result.writeUTF(e.getMessage());
                }
                reply.writeTo(out);
                out.flush();
            }
        } catch (IOException e) {
            // the host thread or the whole host is gone
        } finally {
            BridgeServer.closeQuietly(socket);
            synchronized (attached) {
                attached.remove(this);
                attached.notifyAll();
            }
        }
    }

    private void serve(byte op) throws IOException {
        if (pending != null && op < EXCEPTION_CHECK)
            System.err.println("WARNING in native method: JNI call made with exception pending");
        switch (op) {
        case FIND_CLASS: result.writeInt(Handles.put(findClass(in.readUTF()))); break;
        case GET_METHOD_ID: result.writeInt(methodId(false)); break;
        case GET_STATIC_METHOD_ID: result.writeInt(methodId(true)); break;
        case GET_OBJECT_CLASS: result.writeInt(Handles.put(nonNull(Handles.get(in.readInt()), "GetObjectClass").getClass())); break;
        case CALL: call(); break;
        case NEW_OBJECT_ARRAY: result.writeInt(Handles.put(newObjectArray(in.readInt(), in.readInt(), in.readInt()))); break;
        case SET_OBJECT_ARRAY_ELEMENT: setObjectArrayElement(in.readInt(), in.readInt(), in.readInt()); break;
        case NEW_STRING_UTF: result.writeInt(Handles.put(readModifiedUtf8())); break;
        case GET_STRING_UTF_CHARS: result.writeUTF(Handles.get(in.readInt(), String.class, "GetStringUTFChars")); break;
        case NEW_GLOBAL_REF: result.writeInt(Handles.put(Handles.get(in.readInt()))); break;
        case EXCEPTION_CHECK: result.writeBoolean(pending != null); break;
        case EXCEPTION_OCCURRED: result.writeInt(Handles.put(pending)); break;
        case EXCEPTION_DESCRIBE: describe(); break;
        case EXCEPTION_CLEAR: pending = null; break;
        case DUMP_STACKS: writeText(threadDump()); break;
        case DESTROY_VM: destroy(); break;
        default: throw new Misuse("unknown bridge request " + op);
        }
    }

    private static Object nonNull(Object object, String function) {
        if (object == null) throw new Misuse(function + " given a null reference");
        return object;
    }

    // An exception raised by a JNI function itself: no Java frame is running, so like the
    // VM's own it has an empty stack trace.
    private void raise(Throwable exception) {
        exception.setStackTrace(new StackTraceElement[0]);
        pending = exception;
    }

    private Class<?> findClass(String name) {
        // FindClass takes internal names ("java/lang/String"); a dotted name is no class.
        if (name.indexOf('.') >= 0) {
            raise(new NoClassDefFoundError(name));
            return null;
        }
        try {
            return Class.forName(name.replace('/', '.'), true, ClassLoader.getSystemClassLoader());
        } catch (ClassNotFoundException e) {
            NoClassDefFoundError error = new NoClassDefFoundError(name);
            error.initCause(Methods.trimmed(e));
            raise(error);
        } catch (LinkageError e) {   // ExceptionInInitializerError and the like, as the VM raises them
            pending = Methods.trimmed(e);
        }
        return null;
    }

    private int methodId(boolean isStatic) throws IOException {
        Class<?> type = Handles.get(in.readInt(), Class.class, isStatic ? "GetStaticMethodID" : "GetMethodID");
        String name = in.readUTF();
        String signature = in.readUTF();
        Method method = Methods.find(type, name, signature);
        if (method == null) {
            raise(new NoSuchMethodError(name));
            return 0;
        }
        if (Methods.isStatic(method) != isStatic) {
            raise(new NoSuchMethodError(Methods.descriptor(type) + "." + name + signature));
            return 0;
        }
        try {
            method.trySetAccessible();
        } catch (SecurityException e) {
            // then the call reports what it cannot reach
        }
        return Handles.putMethod(method);
    }

    private void call() throws IOException {
        boolean isStatic = in.readBoolean();
        Object target = Handles.get(in.readInt());
        Method method = Handles.getMethod(in.readInt());
        Object[] args = new Object[in.readInt()];
        for (int i = 0; i < args.length; i++) args[i] = readArgument();
        if (Methods.isStatic(method) != isStatic)
            throw new Misuse((isStatic ? "a static call of the instance method " : "an instance call of the static method ")
                             + method);
        if (isStatic ? !(target instanceof Class) : !method.getDeclaringClass().isInstance(target))
            throw new Misuse("the object or class given to the call of " + method + " is not of its class");
        Object value = null;
        try {
            value = method.invoke(isStatic ? null : target, args);
        } catch (InvocationTargetException e) {
            pending = Methods.trimmed(e.getCause());
        } catch (IllegalAccessException | IllegalArgumentException e) {
            throw new Misuse("the bridge cannot call " + method + ": " + e);
        }
        writeValue(method.getReturnType(), value);
    }

    private Object readArgument() throws IOException {
        char type = (char) in.readByte();
        switch (type) {
        case 'Z': return in.readInt() != 0;
        case 'B': return (byte) in.readInt();
        case 'C': return (char) in.readInt();
        case 'S': return (short) in.readInt();
        case 'I': return in.readInt();
        case 'J': return in.readLong();
        case 'F': return (float) in.readDouble();   // promoted to double in a C variadic call
        case 'D': return in.readDouble();
        case 'L': return Handles.get(in.readInt());
        default: throw new Misuse("unknown argument type " + type);
        }
    }

    private void writeValue(Class<?> type, Object value) throws IOException {
        if (type == void.class) return;
        if (!type.isPrimitive()) result.writeInt(Handles.put(value));
        else if (type == long.class) result.writeLong(value == null ? 0 : (Long) value);
        else if (type == float.class || type == double.class) result.writeDouble(value == null ? 0 : ((Number) value).doubleValue());
        else if (type == boolean.class) result.writeInt(value != null && (Boolean) value ? 1 : 0);
        else if (type == char.class) result.writeInt(value == null ? 0 : (Character) value);
        else result.writeInt(value == null ? 0 : ((Number) value).intValue());
    }

    private Object newObjectArray(int length, int classHandle, int initialHandle) {
        Class<?> type = Handles.get(classHandle, Class.class, "NewObjectArray");
        Object initial = Handles.get(initialHandle);
        if (type.isPrimitive()) throw new Misuse("NewObjectArray given the primitive class " + type);
        if (length < 0) {
            raise(new NegativeArraySizeException(String.valueOf(length)));
            return null;
        }
        if (initial != null && !type.isInstance(initial)) {
            raise(new ArrayStoreException("type mismatch: can not store " + initial.getClass().getName() + " to "
                                          + type.getName() + "[0]"));
            return null;
        }
        Object[] array = (Object[]) Array.newInstance(type, length);
        java.util.Arrays.fill(array, initial);
        return array;
    }

    private void setObjectArrayElement(int arrayHandle, int index, int valueHandle) {
        Object[] array = Handles.get(arrayHandle, Object[].class, "SetObjectArrayElement");
        Object value = Handles.get(valueHandle);
        if (index < 0 || index >= array.length) {
            raise(new ArrayIndexOutOfBoundsException("Index " + index + " out of bounds for length " + array.length));
        } else if (value != null && !array.getClass().getComponentType().isInstance(value)) {
            raise(new ArrayStoreException("type mismatch: can not store " + value.getClass().getName() + " to "
                                          + array.getClass().getComponentType().getName() + "[" + index + "]"));
        } else {
            array[index] = value;
        }
    }

    // NewStringUTF's text. Bytes that are not modified UTF-8 (text in a Windows code page,
    // say) are taken one character each, with the warning the VM's JNI checks give.
    private String readModifiedUtf8() throws IOException {
        int length = in.readUnsignedShort();
        byte[] text = new byte[length + 2];
        text[0] = (byte) (length >> 8);
        text[1] = (byte) length;
        in.readFully(text, 2, length);
        try {
            return new DataInputStream(new ByteArrayInputStream(text)).readUTF();
        } catch (UTFDataFormatException e) {
            System.err.println("WARNING in native method: NewStringUTF given text that is not modified UTF-8");
            return new String(text, 2, length, StandardCharsets.ISO_8859_1);
        }
    }

    private void describe() {
        Throwable exception = pending;
        pending = null;   // ExceptionDescribe clears the exception
        if (exception == null) return;
        System.err.print("Exception in thread \"" + Thread.currentThread().getName() + "\" ");
        exception.printStackTrace();
    }

    // The JVM's own thread dump, the text that Ctrl-Break or jcmd Thread.print shows.
    private static String threadDump() {
        try {
            Object text = ManagementFactory.getPlatformMBeanServer().invoke(
                    new ObjectName("com.sun.management:type=DiagnosticCommand"), "threadPrint",
                    new Object[] {new String[0]}, new String[] {String[].class.getName()});
            return String.valueOf(text);
        } catch (Exception e) {
            System.err.println("jvmbridge: no thread dump: " + e);
            return "";
        }
    }

    private void writeText(String text) throws IOException {
        byte[] bytes = text.getBytes(StandardCharsets.UTF_8);
        result.writeInt(bytes.length);
        result.write(bytes);
    }

    // DestroyJavaVM: waits until every other attached thread has detached and every other
    // non-daemon Java thread has ended, answers, and ends the JVM; the DLL sees the end
    // when the lifeline closes.
    private void destroy() throws IOException {
        try {
            synchronized (attached) {
                while (attached.size() > 1 || !attached.contains(this)) attached.wait();
            }
            for (Thread thread : Thread.getAllStackTraces().keySet())
                if (!thread.isDaemon() && thread != Thread.currentThread() && thread != BridgeServer.acceptThread)
                    thread.join();
        } catch (InterruptedException e) {
            Thread.currentThread().interrupt();
        }
        BridgeServer.destroying = true;
        result.writeInt(0);   // JNI_OK
        reply.writeTo(out);
        out.flush();
        System.out.flush();
        System.exit(0);
    }
}
