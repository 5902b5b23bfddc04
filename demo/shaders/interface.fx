// Interface: the 3-D walk-arrow cursor, the tooltip box and the bars' icons.

shared float4x4 World : WORLD;
float4x4 walkarrowmat;
float2 pixsize = { 0.0005f, 0.0007f };
float4 arrowColor = { 0.55f, 0.85f, 0.55f, 1.0f };
texture tex;
float2 intens = { 1.0f, 0.0f };   // x: the icon's brightness
int filter = 2;                   // 1 point, 2 linear

struct ArrowOut
{
    float4 position : POSITION;
    float4 color : COLOR0;
};

ArrowOut ArrowVS(float4 position : POSITION, float3 normal : NORMAL)
{
    ArrowOut output;
    output.position = mul(mul(position, World), walkarrowmat);
    output.position.xy -= pixsize * output.position.w;
    float light = 0.5f + 0.5f * saturate(dot(normalize(normal), float3(0.0f, 0.7f, -0.7f)));
    output.color = float4(arrowColor.rgb * light, arrowColor.a);
    return output;
}

float4 ArrowPS(ArrowOut input) : COLOR
{
    return input.color;
}

struct BoxOut
{
    float4 position : POSITION;
    float4 color : COLOR0;
};

BoxOut BoxVS(float4 position : POSITION, float4 color : COLOR0)
{
    BoxOut output;
    output.position = position;
    output.color = color;
    return output;
}

float4 BoxPS(BoxOut input) : COLOR
{
    return input.color;
}

technique ui_walkarrow
{
    pass p0
    {
        ZEnable = false;
        ZWriteEnable = false;
        CullMode = None;
        VertexShader = compile vs_2_0 ArrowVS();
        PixelShader = compile ps_2_0 ArrowPS();
    }
}

technique ui_tooltip
{
    pass p0
    {
        AlphaBlendEnable = true;
        SrcBlend = SrcAlpha;
        DestBlend = InvSrcAlpha;
        ZEnable = false;
        ZWriteEnable = false;
        VertexShader = compile vs_2_0 BoxVS();
        PixelShader = compile ps_2_0 BoxPS();
    }
}

sampler iconPoint = sampler_state
{
    Texture = <tex>;
    MinFilter = Point;
    MagFilter = Point;
    MipFilter = None;
    AddressU = Clamp;
    AddressV = Clamp;
};

sampler iconLinear = sampler_state
{
    Texture = <tex>;
    MinFilter = Linear;
    MagFilter = Linear;
    MipFilter = None;
    AddressU = Clamp;
    AddressV = Clamp;
};

struct IconOut
{
    float4 position : POSITION;
    float4 color : COLOR0;
    float2 uv : TEXCOORD0;
};

IconOut IconVS(float4 position : POSITION, float4 color : COLOR0, float2 uv : TEXCOORD0)
{
    IconOut output;
    output.position = position;
    output.color = color;
    output.uv = uv;
    return output;
}

float4 Icon(float2 uv)
{
    if (filter == 1)
        return tex2D(iconPoint, uv);
    return tex2D(iconLinear, uv);
}

// Highlighted: the icon's own colours, faded in by the brightness.
float4 IconPS(IconOut input) : COLOR
{
    float4 color = Icon(input.uv);
    return float4(color.rgb, color.a * saturate(intens.x));
}

// Dimmed: grey, at twice the brightness it is given (half when shown).
float4 IconGreyPS(IconOut input) : COLOR
{
    float4 color = Icon(input.uv);
    float grey = dot(color.rgb, float3(0.3f, 0.59f, 0.11f)) * 0.8f;
    return float4(grey, grey, grey, color.a * saturate(intens.x * 2.0f));
}

technique ui_vericon
{
    pass p0
    {
        AlphaBlendEnable = true;
        SrcBlend = SrcAlpha;
        DestBlend = InvSrcAlpha;
        ZEnable = false;
        ZWriteEnable = false;
        CullMode = None;
        VertexShader = compile vs_2_0 IconVS();
        PixelShader = compile ps_2_0 IconPS();
    }
}

technique ui_vericonbw
{
    pass p0
    {
        AlphaBlendEnable = true;
        SrcBlend = SrcAlpha;
        DestBlend = InvSrcAlpha;
        ZEnable = false;
        ZWriteEnable = false;
        CullMode = None;
        VertexShader = compile vs_2_0 IconVS();
        PixelShader = compile ps_2_0 IconGreyPS();
    }
}
