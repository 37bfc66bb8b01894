// Presents a Flash player to the page, as the browsers of the Flash era had
// one: detection scripts then write the object or embed they keep for
// visitors with the player, and the scan sees it. Runs in the page's own
// world before any page script, in every frame. Nothing plays: the engine
// has no such plugin; only what scripts read of navigator changes.
(function () {
    'use strict';
    const nav = Navigator.prototype;
    const pluginsGetter = Object.getOwnPropertyDescriptor(nav, 'plugins');
    const mimeTypesGetter = Object.getOwnPropertyDescriptor(nav, 'mimeTypes');
    if (!pluginsGetter || !mimeTypesGetter || !pluginsGetter.get || !mimeTypesGetter.get)
        return;

    function fixed(object, values) {
        for (const [name, value] of Object.entries(values))
            Object.defineProperty(object, name, {value, enumerable: true});
        return object;
    }

    // A list reachable by index, by name and through item and namedItem, as
    // the engine's own plugin and MIME type lists are.
    function list(proto, entries, nameOf, extra) {
        const result = Object.create(proto);
        entries.forEach((entry, index) => {
            Object.defineProperty(result, index, {value: entry, enumerable: true});
        });
        for (const entry of entries) {
            const name = nameOf(entry);
            if (name && !(name in result))
                Object.defineProperty(result, name, {value: entry});
        }
        Object.defineProperties(result, {
            length: {value: entries.length},
            item: {value: index => entries[index >>> 0] || null},
            namedItem: {value: name => entries.find(entry => nameOf(entry) === String(name)) || null},
            [Symbol.iterator]: {value: () => entries[Symbol.iterator]()},
        });
        return Object.assign(result, extra || {});
    }

    const plugin = Object.create(Plugin.prototype);
    const swf = fixed(Object.create(MimeType.prototype), {
        type: 'application/x-shockwave-flash',
        suffixes: 'swf',
        description: 'Shockwave Flash',
        enabledPlugin: plugin,
    });
    const spl = fixed(Object.create(MimeType.prototype), {
        type: 'application/futuresplash',
        suffixes: 'spl',
        description: 'FutureSplash Player',
        enabledPlugin: plugin,
    });
    fixed(plugin, {
        name: 'Shockwave Flash',
        description: 'Shockwave Flash 32.0 r0',
        filename: 'libpepflashplayer.so',
        version: '32.0.0.0',
    });
    const pluginTypes = [swf, spl];
    pluginTypes.forEach((type, index) => Object.defineProperty(plugin, index, {value: type, enumerable: true}));
    for (const type of pluginTypes)
        Object.defineProperty(plugin, type.type, {value: type});
    Object.defineProperties(plugin, {
        length: {value: pluginTypes.length},
        item: {value: index => pluginTypes[index >>> 0] || null},
        namedItem: {value: name => pluginTypes.find(type => type.type === String(name)) || null},
    });

    // The engine's own entries stay, after the Flash player.
    const own = pluginsGetter.get.call(navigator);
    const ownTypes = mimeTypesGetter.get.call(navigator);
    const plugins = list(PluginArray.prototype, [plugin, ...Array.from(own)], p => p.name,
                         {refresh: () => undefined});
    const mimeTypes = list(MimeTypeArray.prototype, [...pluginTypes, ...Array.from(ownTypes)], t => t.type);

    Object.defineProperty(nav, 'plugins', {get: () => plugins, configurable: true, enumerable: true});
    Object.defineProperty(nav, 'mimeTypes', {get: () => mimeTypes, configurable: true, enumerable: true});
})();
