// Method lookup as GetMethodID and GetStaticMethodID do it: by name and JNI signature,
// in the class, its superclasses and then its interfaces, whatever the access. And the
// stack traces of exceptions cut where the bridge's own frames begin, so that they read
// as those of a call made from native code.
package jvmbridge;

import java.lang.reflect.Method;
import java.lang.reflect.Modifier;
import java.util.ArrayDeque;
import java.util.Arrays;
import java.util.Collections;
import java.util.IdentityHashMap;
import java.util.Set;

final class Methods {
    private Methods() {}

    static Method find(Class<?> type, String name, String signature) {
        for (Class<?> c = type; c != null; c = c.getSuperclass()) {
            Method method = declared(c, name, signature);
            if (method != null) return method;
        }
        ArrayDeque<Class<?>> interfaces = new ArrayDeque<>(Arrays.asList(type.getInterfaces()));
        for (Class<?> c = type.getSuperclass(); c != null; c = c.getSuperclass()) interfaces.addAll(Arrays.asList(c.getInterfaces()));
        while (!interfaces.isEmpty()) {
            Class<?> c = interfaces.removeFirst();
            Method method = declared(c, name, signature);
            if (method != null) return method;
            interfaces.addAll(Arrays.asList(c.getInterfaces()));
        }
        return null;
    }

    private static Method declared(Class<?> c, String name, String signature) {
        for (Method method : c.getDeclaredMethods())
            if (method.getName().equals(name) && signature(method).equals(signature)) return method;
        return null;
    }

    static boolean isStatic(Method method) {
        return Modifier.isStatic(method.getModifiers());
    }

    static String signature(Method method) {
        StringBuilder text = new StringBuilder("(");
        for (Class<?> parameter : method.getParameterTypes()) text.append(descriptor(parameter));
        return text.append(')').append(descriptor(method.getReturnType())).toString();
    }

    static String descriptor(Class<?> type) {
        if (type.isArray()) return type.getName().replace('.', '/');
        if (!type.isPrimitive()) return "L" + type.getName().replace('.', '/') + ";";
        if (type == void.class) return "V";
        if (type == boolean.class) return "Z";
        if (type == long.class) return "J";
        return String.valueOf(Character.toUpperCase(type.getName().charAt(0)));   // B C D F I S
    }

    // Cuts the traces of the exception, its causes and suppressed ones at the first frame
    // of the bridge, together with the reflection and class-loading frames just above it.
    static Throwable trimmed(Throwable exception) {
        trim(exception, Collections.newSetFromMap(new IdentityHashMap<>()));
        return exception;
    }

    private static void trim(Throwable exception, Set<Throwable> seen) {
        if (exception == null || !seen.add(exception)) return;
        StackTraceElement[] frames = exception.getStackTrace();
        int end = 0;
        while (end < frames.length && !frames[end].getClassName().startsWith("jvmbridge.")) end++;
        if (end < frames.length) {
            while (end > 0 && isCallMachinery(frames[end - 1].getClassName())) end--;
            exception.setStackTrace(Arrays.copyOf(frames, end));
        }
        trim(exception.getCause(), seen);
        for (Throwable suppressed : exception.getSuppressed()) trim(suppressed, seen);
    }

    private static boolean isCallMachinery(String className) {
        return className.startsWith("jdk.internal.reflect.") || className.equals("java.lang.reflect.Method")
            || className.equals("java.lang.Class");
    }
}
