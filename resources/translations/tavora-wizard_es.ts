<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="es_ES" sourcelanguage="en">
<context>
    <name>ConnectionPage</name>
    <message>
        <source>Test My Connection</source>
        <translation>Probar mi conexión</translation>
    </message>
    <message>
        <source>Proxy Settings</source>
        <translation>Configuración del proxy</translation>
    </message>
    <message>
        <source>Click the Test My Connection button. The Wizard will try to establish a connection to the Tavora Live server.</source>
        <translation>Haga clic en el botón Probar mi conexión. El asistente intentará establecer una conexión con el servidor de Tavora Live.</translation>
    </message>
    <message>
        <source>If this test fails make sure your are not behind a proxy server and ther is no Firewall or Anti-virus software blocking the communication. </source>
        <translation>Si esta prueba falla, compruebe que no está detrás de un servidor proxy y que ningún cortafuegos ni antivirus bloquea la comunicación. </translation>
    </message>
    <message>
        <source>To configure the proxy settings click the Proxy Settings button.</source>
        <translation>Para configurar el proxy, haga clic en el botón Configuración del proxy.</translation>
    </message>
</context>
<context>
    <name>DeviceLists</name>
    <message>
        <source> (Windows Default)</source>
        <translation> (predeterminado de Windows)</translation>
    </message>
</context>
<context>
    <name>DisplayPage</name>
    <message>
        <source>Test My Display</source>
        <translation>Probar mi pantalla</translation>
    </message>
    <message>
        <source>Click the Test My Display button. </source>
        <translation>Haga clic en el botón Probar mi pantalla. </translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Tavora Live System Test Wizard</source>
        <translation>Asistente de prueba del sistema Tavora Live</translation>
    </message>
    <message>
        <source>Tavora Live System Test</source>
        <translation>Prueba del sistema Tavora Live</translation>
    </message>
    <message>
        <source>Test Your Internet Connection</source>
        <translation>Pruebe su conexión a Internet</translation>
    </message>
    <message>
        <source>Testing Your Display Settings</source>
        <translation>Pruebe su pantalla</translation>
    </message>
    <message>
        <source>Test Your Playback Device</source>
        <translation>Pruebe su dispositivo de audio</translation>
    </message>
    <message>
        <source>Test Your Microphone</source>
        <translation>Pruebe su micrófono</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Cerrar</translation>
    </message>
    <message>
        <source>Previous Test</source>
        <translation>Prueba anterior</translation>
    </message>
    <message>
        <source>Next</source>
        <translation>Siguiente</translation>
    </message>
</context>
<context>
    <name>MicrophonePage</name>
    <message>
        <source>The microphone was removed during the test, so the test has stopped.

Connect it again or choose another input device, then press Start.</source>
        <translation>El micrófono se desconectó durante la prueba, por lo que la prueba se ha detenido.

Vuelva a conectarlo o elija otro dispositivo de entrada y, a continuación, pulse Iniciar.</translation>
    </message>
    <message>
        <source>The playback device was removed during the test, so the test has stopped.

Connect it again or choose another playback device on the playback page, then press Start.</source>
        <translation>El dispositivo de reproducción se desconectó durante la prueba, por lo que la prueba se ha detenido.

Vuelva a conectarlo o elija otro dispositivo de reproducción en la página de reproducción y, a continuación, pulse Iniciar.</translation>
    </message>
    <message>
        <source>The sound server stopped during the test, so the test has stopped.

Start the sound server again (or log out and back in), then press Start.</source>
        <translation>El servidor de sonido se detuvo durante la prueba, por lo que la prueba se ha detenido.

Vuelva a iniciar el servidor de sonido (o cierre la sesión y vuelva a iniciarla) y, a continuación, pulse Iniciar.</translation>
    </message>
    <message>
        <source>Select your input device which your microphone is attached to:</source>
        <translation>Seleccione el dispositivo de entrada al que está conectado su micrófono:</translation>
    </message>
    <message>
        <source>Click the Start button. Start talking with a normal voice into your microphone. While talking adjust your microphone volume so that you hear your voice comfortably in your headphones/speakers. If you hear echo or feedback or too much background noises decrease the volume of the microphone. When done press the Stop button.</source>
        <translation>Haga clic en Iniciar y hable con voz normal al micrófono. Mientras habla, ajuste el volumen del micrófono hasta oír su voz cómodamente en los auriculares o altavoces. Si oye eco, acoples o demasiado ruido de fondo, baje el volumen del micrófono. Al terminar, pulse Detener.</translation>
    </message>
    <message>
        <source>If you can&apos;t hear your voice at all make sure your microphone is plugged in. If you have a USB microphone make sure to have it on before you start the wizard.</source>
        <translation>Si no oye su voz en absoluto, compruebe que el micrófono está conectado. Un micrófono USB debe estar conectado antes de iniciar el asistente.</translation>
    </message>
    <message>
        <source>Adjust the Microphone Level</source>
        <translation>Ajuste el nivel del micrófono</translation>
    </message>
    <message>
        <source>Microphone Level Not Available</source>
        <translation>Nivel del micrófono no disponible</translation>
    </message>
    <message>
        <source>Microphone Boost</source>
        <translation>Amplificación del micrófono</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>Iniciar</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Detener</translation>
    </message>
    <message>
        <source>The wizard could not detect any audio input device attached.</source>
        <translation>El asistente no ha detectado ningún dispositivo de entrada de audio.</translation>
    </message>
    <message>
        <source>If you have an audio device attached to your system then make sure it is properly installed. If the problem persists please contact your hardware vendor.</source>
        <translation>Si tiene un dispositivo de audio conectado al equipo, compruebe que está bien instalado. Si el problema continúa, póngase en contacto con el fabricante del hardware.</translation>
    </message>
    <message>
        <source>If you have a USB microphone, please close the wizard, attach your microphone and then start the wizard again. This is because your USB device must be plugged in before you start the Wizard. After you start the wizard select the microphone from the drop-down list above.</source>
        <translation>Si tiene un micrófono USB, cierre el asistente, conecte el micrófono y vuelva a iniciar el asistente, ya que los dispositivos USB deben estar conectados antes de iniciarlo. Después, seleccione el micrófono en la lista de arriba.</translation>
    </message>
</context>
<context>
    <name>PlaybackPage</name>
    <message>
        <source>The audio sample cannot be played with the selected playback device!</source>
        <translation>¡El mensaje de audio no se puede reproducir con el dispositivo de reproducción seleccionado!</translation>
    </message>
    <message>
        <source>The playback device was removed while the sample was playing, so it has stopped.

Connect it again or choose another device from the list, then press Play.</source>
        <translation>El dispositivo de reproducción se desconectó mientras sonaba el mensaje, por lo que se ha detenido.

Vuelva a conectarlo o elija otro dispositivo de la lista y, a continuación, pulse Reproducir.</translation>
    </message>
    <message>
        <source>The sound server stopped while the sample was playing, so it has stopped.

Start the sound server again (or log out and back in), then press Play.</source>
        <translation>El servidor de sonido se detuvo mientras sonaba el mensaje, por lo que se ha detenido.

Vuelva a iniciar el servidor de sonido (o cierre la sesión y vuelva a iniciarla) y, a continuación, pulse Reproducir.</translation>
    </message>
    <message>
        <source>Select your playback device:</source>
        <translation>Seleccione su dispositivo de reproducción:</translation>
    </message>
    <message>
        <source>The Wizard could not find any playback device attached to your system. If you have a sound card please make sure it is properly installed.</source>
        <translation>El asistente no ha encontrado ningún dispositivo de reproducción en su equipo. Si tiene una tarjeta de sonido, compruebe que está bien instalada.</translation>
    </message>
    <message>
        <source>If you have USB headphones or USB speakers you have to attach them to your before you start the wizard.</source>
        <translation>Los auriculares o altavoces USB deben estar conectados antes de iniciar el asistente.</translation>
    </message>
    <message>
        <source>A prerecorded audio message will begin to play when you press the Play button. While it is playing adjust the volume with the green slider to a comfortable level.</source>
        <translation>Al pulsar Reproducir se reproducirá un mensaje de audio grabado. Mientras suena, ajuste el volumen a un nivel cómodo con el control deslizante verde.</translation>
    </message>
    <message>
        <source>If you can&apos;t hear the message, please make sure your headphones/speakers are plugged in. If you have a USB device it must be attached to your computer before you start the wizard.</source>
        <translation>Si no oye el mensaje, compruebe que los auriculares o altavoces están conectados. Un dispositivo USB debe estar conectado al equipo antes de iniciar el asistente.</translation>
    </message>
    <message>
        <source>Adjust the Speakers Level</source>
        <translation>Ajuste el nivel de los altavoces</translation>
    </message>
    <message>
        <source>Speakers Level Not Available</source>
        <translation>Nivel no disponible</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>Reproducir</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Detener</translation>
    </message>
    <message>
        <source>Audio is playing at the moment...</source>
        <translation>Reproduciendo el audio...</translation>
    </message>
</context>
<context>
    <name>ProxyDialog</name>
    <message>
        <source>Proxy Settings</source>
        <translation>Configuración del proxy</translation>
    </message>
    <message>
        <source>I am behind a proxy server</source>
        <translation>Uso un servidor proxy</translation>
    </message>
    <message>
        <source>Proxy Settings:</source>
        <translation>Configuración del proxy:</translation>
    </message>
    <message>
        <source>Version:</source>
        <translation>Versión:</translation>
    </message>
    <message>
        <source>Host:</source>
        <translation>Host:</translation>
    </message>
    <message>
        <source>Port:</source>
        <translation>Pto.:</translation>
    </message>
    <message>
        <source>Username:</source>
        <translation>Usuario:</translation>
    </message>
    <message>
        <source>Password:</source>
        <translation>Clave:</translation>
    </message>
    <message>
        <source>No Socks</source>
        <translation>Sin SOCKS</translation>
    </message>
    <message>
        <source>Proxy Authentication</source>
        <translation>Autenticación</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>Aceptar</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancelar</translation>
    </message>
    <message>
        <source>Use it</source>
        <translation>Usar</translation>
    </message>
</context>
<context>
    <name>Settings</name>
    <message>
        <source>The proxy password has %1 bytes; at most 25 bytes can be stored (a character outside plain ASCII takes two or more).</source>
        <translation>La contraseña del proxy ocupa %1 bytes; se pueden guardar como máximo 25 bytes (un carácter fuera del ASCII básico ocupa dos o más).</translation>
    </message>
    <message>
        <source>The proxy password contains a control character (such as a tab or a line break), which cannot be stored.</source>
        <translation>La contraseña del proxy contiene un carácter de control (como un tabulador o un salto de línea), que no se puede guardar.</translation>
    </message>
    <message>
        <source>The proxy password is longer than 25 bytes and cannot be stored.</source>
        <translation>La contraseña del proxy ocupa más de 25 bytes y no se puede guardar.</translation>
    </message>
    <message>
        <source>The proxy password contains a control character and cannot be stored.</source>
        <translation>La contraseña del proxy contiene un carácter de control y no se puede guardar.</translation>
    </message>
    <message>
        <source>The other settings were saved; the proxy password saved before is kept.</source>
        <translation>Los demás valores se han guardado; se conserva la contraseña del proxy guardada antes.</translation>
    </message>
    <message>
        <source>The settings cannot be saved to %1: %2.</source>
        <translation>No se puede guardar la configuración en %1: %2.</translation>
    </message>
    <message>
        <source>The settings cannot be saved to %1.</source>
        <translation>No se puede guardar la configuración en %1.</translation>
    </message>
    <message>
        <source>The settings cannot be saved: %1.</source>
        <translation>No se puede guardar la configuración: %1.</translation>
    </message>
    <message>
        <source>The settings cannot be saved.</source>
        <translation>No se puede guardar la configuración.</translation>
    </message>
    <message>
        <source>None of them were stored; the settings saved before stay.</source>
        <translation>No se ha guardado ningún valor; se conserva la configuración guardada antes.</translation>
    </message>
    <message>
        <source>Stored: %1. Not stored: %2 (they keep the values saved before).</source>
        <translation>Guardados: %1. No guardados: %2 (conservan los valores guardados antes).</translation>
    </message>
</context>
<context>
    <name>tavora::ConnectionPage</name>
    <message>
        <source>Trying to connect to Tavora Server...</source>
        <translation>Intentando conectar con el servidor de Tavora...</translation>
    </message>
    <message>
        <source>First attempt failed...</source>
        <translation>El primer intento ha fallado...</translation>
    </message>
    <message>
        <source>Second attempt failed...</source>
        <translation>El segundo intento ha fallado...</translation>
    </message>
    <message>
        <source>Connection OK</source>
        <translation>Conexión correcta</translation>
    </message>
    <message>
        <source>A connection cannot be astablish between your computer and the remote server.<byte value="xd"/>
Please make sure you are connected to the internet. If there is a proxy server on your network please configure your proxy settings above. <byte value="xd"/>
If you are running a personal Firewall or some anti virus software make sure they are not blocking this application. If the problem persists contact your network administrator or ISP for details.</source>
        <translation>No se puede establecer una conexión entre su equipo y el servidor remoto.<byte value="xd"/>
Compruebe que está conectado a Internet. Si en su red hay un servidor proxy, configúrelo arriba en la configuración del proxy. <byte value="xd"/>
Si usa un cortafuegos personal o un antivirus, compruebe que no bloquea este programa. Si el problema continúa, póngase en contacto con su administrador de red o su proveedor de Internet.</translation>
    </message>
</context>
<context>
    <name>tavora::DisplayPage</name>
    <message>
        <source>Your screen resolution is less than 1024x768 pixels.<byte value="xd"/>
You might experience problems seeing all the classroom elements.</source>
        <translation>La resolución de su pantalla es inferior a 1024x768 píxeles.<byte value="xd"/>
Es posible que no vea todos los elementos del aula.</translation>
    </message>
    <message>
        <source>Screen resolution - OK</source>
        <translation>Resolución de pantalla - OK</translation>
    </message>
    <message>
        <source>Screen DPI - OK</source>
        <translation>PPP de la pantalla - OK</translation>
    </message>
    <message>
        <source>Your display is running at DPI different than 96 dots per inch<byte value="xd"/>
Some of the text messages and buttons may not be visible</source>
        <translation>Su pantalla no funciona a 96 puntos por pulgada (PPP)<byte value="xd"/>
Es posible que algunos textos y botones no se vean</translation>
    </message>
</context>
<context>
    <name>tavora::MainWindow</name>
    <message>
        <source>Next Test</source>
        <translation>Siguiente prueba</translation>
    </message>
    <message>
        <source>Finish</source>
        <translation>Finalizar</translation>
    </message>
    <message>
        <source>The settings cannot be saved: %1</source>
        <translation>No se puede guardar la configuración: %1</translation>
    </message>
</context>
<context>
    <name>tavora::ProxyDialog</name>
    <message>
        <source>Your desktop uses the %1 proxy %2.</source>
        <translation>Su escritorio usa el proxy %1 %2.</translation>
    </message>
    <message>
        <source>&apos;%1&apos; is not a valid integer value</source>
        <translation>«%1» no es un número entero válido</translation>
    </message>
</context>
<context>
    <name>tavora::WizardApplication</name>
    <message>
        <source>An unexpected error occurred.</source>
        <translation>Se ha producido un error inesperado.</translation>
    </message>
    <message>
        <source>Tavora Live System Test Wizard</source>
        <translation>Asistente de prueba del sistema Tavora Live</translation>
    </message>
</context>
<context>
    <name>tavora::audio::MicrophonePage</name>
    <message>
        <source>Warning</source>
        <translation>Advertencia</translation>
    </message>
    <message>
        <source>Your microphone is currently in &quot;boost&quot; mode. This may cause voice echo and increasing of backgound noise.We recommend that you turn the Microphone Boost off.<byte value="xd"/>
Do you want to turn the microphone boost off?</source>
        <translation>Su micrófono está en modo de «amplificación». Esto puede provocar eco en la voz y más ruido de fondo. Le recomendamos desactivar la amplificación del micrófono.<byte value="xd"/>
¿Desea desactivar la amplificación del micrófono?</translation>
    </message>
    <message>
        <source>Microphone Boost</source>
        <translation>Amplificación del micrófono</translation>
    </message>
    <message>
        <source>Microphone Boost is ON. It is recommended that you turn this setting OFF.</source>
        <translation>Amplificación del micrófono ACTIVADA. Se recomienda DESACTIVARLA.</translation>
    </message>
    <message>
        <source>Boosting your microphone will increase the microphone input level.<byte value="xd"/>
On most system however this causes feedback (echo) and increases the level of background noises.<byte value="xd"/>
We recommend that you boost your microphone only in case you can&apos;t adjust its volume with the volume slider.<byte value="xd"/>
<byte value="xd"/>
Do you want to boost the microphone?</source>
        <translation>La amplificación aumenta el nivel de entrada del micrófono.<byte value="xd"/>
Sin embargo, en la mayoría de los sistemas provoca acoples (eco) y aumenta el ruido de fondo.<byte value="xd"/>
Le recomendamos amplificar el micrófono solo si no puede ajustar su volumen con el control deslizante.<byte value="xd"/>
<byte value="xd"/>
¿Desea amplificar el micrófono?</translation>
    </message>
</context>
</TS>
