// The references the host holds: Java objects and methods kept here and named by number,
// so that nothing of the JVM's memory crosses to the host. Local and global references
// are alike and never freed: the host makes a few dozen of them in a run.
package jvmbridge;

import java.lang.reflect.Method;
import java.util.ArrayList;
import java.util.List;

final class Handles {
    private static final List<Object> objects = new ArrayList<>();
    private static final List<Method> methods = new ArrayList<>();

    private Handles() {}

    static synchronized int put(Object object) {
        if (object == null) return 0;
        objects.add(object);
        return objects.size();
    }

    static synchronized Object get(int handle) {
        if (handle == 0) return null;
        if (handle < 0 || handle > objects.size()) throw new Session.Misuse("invalid reference " + handle);
        return objects.get(handle - 1);
    }

    // A reference that must be a non-null object of the given class.
    static <T> T get(int handle, Class<T> type, String function) {
        Object object = get(handle);
        if (!type.isInstance(object))
            throw new Session.Misuse(function + " given " + (object == null ? "a null reference" : "a " + object.getClass().getName())
                                     + " where it needs a " + type.getName());
        return type.cast(object);
    }

    static synchronized int putMethod(Method method) {
        int index = methods.indexOf(method);
        if (index >= 0) return index + 1;
        methods.add(method);
        return methods.size();
    }

    static synchronized Method getMethod(int id) {
        if (id <= 0 || id > methods.size()) throw new Session.Misuse("invalid method ID " + id);
        return methods.get(id - 1);
    }
}
