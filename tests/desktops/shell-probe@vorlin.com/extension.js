// Tells the tests what GNOME Shell shows (its windows, which has the focus, its notifications)
// and launches a desktop entry as the dash does, over the session bus; org.gnome.Shell.Eval,
// which could tell, is closed to callers.
const { Gio, Shell } = imports.gi;
const Main = imports.ui.main;

const probeInterface = `<node><interface name="com.vorlin.ShellProbe">
  <method name="Windows"><arg type="s" direction="out"/></method>
  <method name="Notifications"><arg type="s" direction="out"/></method>
  <method name="Indicators"><arg type="s" direction="out"/></method>
  <method name="Menu"><arg type="s" direction="out"/></method>
  <method name="Overview"><arg type="b" direction="out"/></method>
  <method name="Shot"><arg type="s" direction="in"/></method>
  <method name="Launch"><arg type="s" direction="in"/></method>
  <method name="Close"><arg type="s" direction="in"/></method>
</interface></node>`;

// Where an actor is on the screen: x, y, width, height.
function box(actor) {
    const [x, y] = actor.get_transformed_position();
    const [width, height] = actor.get_transformed_size();
    return [x, y, width, height].map(Math.round);
}

class Probe {
    // A line a window: its title, its application id, its process, whether it has the focus,
    // and its width.
    Windows() {
        const focused = global.display.focus_window;
        return global.get_window_actors().map(actor => actor.meta_window)
            .map(w => [w.get_title(), w.get_wm_class(), w.get_pid(), w === focused,
                w.get_frame_rect().width].join('\t'))
            .join('\n');
    }

    // A line a notification: its source, its title and its text.
    Notifications() {
        return Main.messageTray.getSources()
            .flatMap(source => source.notifications.map(
                n => [source.title, n.title, n.bannerBodyText].join('\t')))
            .join('\n');
    }

    // A line an indicator that shows in the top bar: its role and its box on the screen.
    Indicators() {
        return Object.entries(Main.panel.statusArea)
            .filter(([, indicator]) => indicator.container.visible && indicator.container.mapped)
            .map(([role, indicator]) => [role, ...box(indicator.container)].join('\t'))
            .join('\n');
    }

    // A line an entry of the top bar's open menu: its label and its box on the screen.
    Menu() {
        return Object.values(Main.panel.statusArea)
            .filter(indicator => indicator.menu && indicator.menu.isOpen)
            .flatMap(indicator => indicator.menu._getMenuItems())
            .filter(item => item.label && item.visible)
            .map(item => [item.label.text, ...box(item)].join('\t'))
            .join('\n');
    }

    // Whether the overview shows, as it does at the session's start.
    Overview() {
        return Main.overview.visible;
    }

    // The top bar's pixels, from the screen's corner, into a PNG file at path, whole once
    // there.
    Shot(path) {
        const [, , width, height] = box(Main.panel);
        const part = Gio.File.new_for_path(`${path}.part`);
        const stream = part.replace(null, false, Gio.FileCreateFlags.NONE, null);
        new Shell.Screenshot().screenshot_area(0, 0, width, height, stream, (shooter, result) => {
            shooter.screenshot_area_finish(result);
            stream.close(null);
            part.move(Gio.File.new_for_path(path), Gio.FileCopyFlags.OVERWRITE, null, null);
        });
    }

    // With the shell's own launch context, which hands out a startup id.
    Launch(path) {
        const context = global.create_app_launch_context(
            global.display.get_current_time_roundtrip(), -1);
        Gio.DesktopAppInfo.new_from_filename(path).launch([], context);
    }

    // As its close button does.
    Close(title) {
        for (const actor of global.get_window_actors()) {
            if (actor.meta_window.get_title() === title)
                actor.meta_window.delete(global.display.get_current_time_roundtrip());
        }
    }
}

class Extension {
    enable() {
        this._object = Gio.DBusExportedObject.wrapJSObject(probeInterface, new Probe());
        this._object.export(Gio.DBus.session, '/com/vorlin/ShellProbe');
        this._name = Gio.bus_own_name(Gio.BusType.SESSION, 'com.vorlin.ShellProbe',
            Gio.BusNameOwnerFlags.NONE, null, null, null);
    }

    disable() {
        Gio.bus_unown_name(this._name);
        this._object.unexport();
    }
}

function init() {
    return new Extension();
}
